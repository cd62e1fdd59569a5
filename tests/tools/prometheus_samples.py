"""Parses a Prometheus text exposition file with the prometheus_client
parser and prints what it read as one JSON object:
{"families": [{"name", "type", "help"}], "samples": [{"name", "labels", "value"}]}.
A file the parser refuses ends the program with status 1 and the reason on
standard error.

Usage: prometheus_samples.py FILE
"""

import json
import sys

from prometheus_client.parser import text_string_to_metric_families


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    families = []
    samples = []
    try:
        for family in text_string_to_metric_families(text):
            families.append(
                {"name": family.name, "type": family.type, "help": family.documentation})
            for sample in family.samples:
                samples.append(
                    {"name": sample.name, "labels": sample.labels, "value": sample.value})
    except Exception as e:  # the parser's ValueError, and whatever else it raises
        print("refused: %s" % e, file=sys.stderr)
        return 1
    print(json.dumps({"families": families, "samples": samples}))
    return 0


if __name__ == "__main__":
    sys.exit(main())

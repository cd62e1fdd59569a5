#!/usr/bin/python3
"""Runs one command and prints its wall time in seconds, its peak resident
memory in KiB, its exit status and its processor time (user + system, in
seconds), on one line.

  measure.py [--cwd DIR] [--out FILE] [--err FILE] -- COMMAND...

The peak memory comes from /usr/bin/time -f %M: a small C program forks the
command, so the figure is the command's own and not that of a copy of this
interpreter before exec. Standard input is /dev/null.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cwd")
    parser.add_argument("--out", default=os.devnull)
    parser.add_argument("--err", default=os.devnull)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    with tempfile.NamedTemporaryFile("r", prefix="measure-") as peak, \
            open(args.out, "wb") as out, open(args.err, "wb") as err:
        start = time.monotonic()
        status = subprocess.call(["/usr/bin/time", "-q", "-f", "%M %U %S", "-o", peak.name] + command,
                                 cwd=args.cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        elapsed = time.monotonic() - start
        kib, user, system = peak.read().split()[-3:]
    print("%.4f %s %d %.2f" % (elapsed, kib, status, float(user) + float(system)))


if __name__ == "__main__":
    sys.exit(main())

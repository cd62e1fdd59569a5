"""FTP server for the tests of the uploader.

Serves a root directory on a loopback address and prints the port it listens
on as the first line of standard output. Every command it receives is
appended to a log file (the password masked), so a test can see what the
client sent: TYPE, EPSV/PASV, CWD, STOR, QUIT.

Uploads are stored byte for byte, also in ASCII mode: the server behaves like
one whose native line end is CR LF, so a test sees exactly what went over the
data connection.

Usage:
  ftp_server.py --root DIR --log FILE [--host 127.0.0.1] [--port 0]
                --user NAME:PASSWORD:PERMS [--user ...]
                [--deny-dir NAME]

--user: PERMS are pyftpdlib's letters ("elradfmw" for full rights, "elr" for
        read only); every user's home is the root.
--deny-dir: a sub-directory of the root, created if missing, that every user
        is refused entry to (CWD answers 550).
"""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


class RawDTPHandler(DTPHandler):
    """Keeps uploaded bytes as received: pyftpdlib would otherwise turn the
    CR LF of an ASCII upload into LF on a POSIX system."""

    def enable_receiving(self, type, cmd):
        super().enable_receiving(type, cmd)
        self._data_wrapper = None


def make_handler(authorizer, log_path):
    class LoggingHandler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            text = "PASS ******" if cmd == "PASS" else line
            # Written before the command runs, so the entry exists by the time
            # the client sees the reply.
            with open(log_path, "a", encoding="utf-8", errors="replace") as log:
                log.write(text + "\n")
            return super().pre_process_command(line, cmd, arg)

    LoggingHandler.authorizer = authorizer
    LoggingHandler.dtp_handler = RawDTPHandler
    LoggingHandler.banner = "exporttotale test FTP server ready."
    LoggingHandler.timeout = 600
    LoggingHandler.auth_failed_timeout = 0.1
    return LoggingHandler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", action="append", default=[])
    parser.add_argument("--deny-dir", action="append", default=[])
    args = parser.parse_args()

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    names = []
    for spec in args.user:
        name, password, perms = spec.split(":", 2)
        authorizer.add_user(name, password, root, perm=perms)
        names.append(name)
    for denied in args.deny_dir:
        path = os.path.join(root, denied)
        os.makedirs(path, exist_ok=True)
        for name in names:
            authorizer.override_perm(name, path, "", recursive=True)

    config_logging(level=logging.WARNING)
    handler = make_handler(authorizer, args.log)
    server = FTPServer((args.host, args.port), handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

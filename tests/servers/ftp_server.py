"""FTP server for the tests of the uploader.

Serves a root directory on a loopback address and prints the port it listens
on as the first line of standard output. Every command it receives is
appended to a log file (the password masked), so a test can see what the
client sent: TYPE, EPSV/PASV, CWD, STOR, QUIT.

Uploads are stored byte for byte, also in ASCII mode: the server behaves like
one whose native line end is CR LF, so a test sees exactly what went over the
data connection.

Each accepted control connection appends one line to FILE.connections (FILE
being the command log), so a test can tell that nothing connected at all.

Some options make the server misbehave the way real ones do:
--drop-data-after N: an upload's data connection is closed by the server
        after N bytes (those are kept), and the transfer is answered with 426;
--refuse-rnfr: every RNFR is answered 550;
--refuse-rename-over: RNTO onto an existing file is answered 550, as on
        servers whose file system does not replace a file by renaming;
--keep-only N: an upload keeps only its first N bytes, reads and drops the
        rest, and still answers "226 Transfer complete." (a server that lies);
--no-size: SIZE is an unknown command (500);
--convert-line-ends: CR LF becomes LF on an ASCII upload, as on proftpd and
        pure-ftpd;
--refuse-dot-names: STOR of a name that starts with '.' is answered
        "553 Prohibited file name: NAME", as pure-ftpd -x does;
--refuse-overwrite: STOR onto an existing file is answered
        "550 NAME: Overwrite permission denied", as proftpd's AllowOverwrite off;
--refuse-rename-delete: RNFR, RNTO and DELE are answered "550 Permission
        denied.", as vsftpd's cmds_denied;
--stall-data S: an upload's first bytes are written, then the session
        waits S seconds before it reads on (each session has a thread of its
        own, so other connections are still served);
--max-per-ip N: at most N control connections from one address; the next
        is answered "421 There are too many connections from your internet
        address." and closed.

Usage:
  ftp_server.py --root DIR --log FILE [--host 127.0.0.1] [--port 0]
                --user NAME:PASSWORD:PERMS [--user ...]
                [--deny-dir NAME] [--drop-data-after N] [--refuse-rnfr]
                [--refuse-rename-over] [--keep-only N] [--no-size]
                [--convert-line-ends] [--refuse-dot-names] [--refuse-overwrite]
                [--refuse-rename-delete] [--max-per-ip N] [--stall-data S]

--user: PERMS are pyftpdlib's letters ("elradfmw" for full rights, "elr" for
        read only); every user's home is the root.
--deny-dir: a sub-directory of the root, created if missing, that every user
        is refused entry to (CWD answers 550).
"""

import argparse
import logging
import os
import socket
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.log import config_logging, logger
from pyftpdlib.servers import FTPServer, ThreadedFTPServer


class RawDTPHandler(DTPHandler):
    """Keeps uploaded bytes as received: pyftpdlib would otherwise turn the
    CR LF of an ASCII upload into LF on a POSIX system."""

    # Bytes of an upload after which the server breaks the data connection;
    # None: never.
    drop_after = None
    # Bytes of an upload that are kept, the rest read and dropped; None: all.
    keep_only = None
    # True: pyftpdlib's own ASCII conversion (CR LF to LF) stays.
    convert_line_ends = False
    # Seconds an upload waits after its first bytes; None: no wait.
    stall = None

    def enable_receiving(self, type, cmd):
        super().enable_receiving(type, cmd)
        if not self.convert_line_ends:
            self._data_wrapper = None
        self._kept = 0

    def handle_read(self):
        if self.stall is not None:
            result = super().handle_read()
            if not getattr(self, "_stalled", False) and self.tot_bytes_received:
                self._stalled = True
                self.file_obj.flush()
                time.sleep(self.stall)
            return result
        if self.keep_only is not None:
            try:
                chunk = self.recv(self.ac_in_buffer_size)
            except socket.error:
                return self.handle_error()
            if not chunk:
                # recv has closed the channel already.
                self.transfer_finished = True
                return
            self.tot_bytes_received += len(chunk)
            room = max(self.keep_only - self._kept, 0)
            self.file_obj.write(chunk[:room])
            self._kept += min(room, len(chunk))
            return
        if self.drop_after is None:
            return super().handle_read()
        try:
            chunk = self.recv(self.ac_in_buffer_size)
        except socket.error:
            return self.handle_error()
        if not chunk:
            self.transfer_finished = True
            return
        room = self.drop_after - self.tot_bytes_received
        self.tot_bytes_received += len(chunk)
        self.file_obj.write(chunk[:max(room, 0)])
        if len(chunk) > room:
            # Closing with unread data resets the connection; the client
            # learns of the break on its data or its control connection.
            self._resp = ("426 Connection closed; transfer aborted.", logger.debug)
            self.close()

    # The base class binds the event to its own handle_read.
    handle_read_event = handle_read


def make_handler(authorizer, log_path, args):
    class LoggingHandler(FTPHandler):
        def on_connect(self):
            with open(log_path + ".connections", "a", encoding="utf-8") as log:
                log.write("%s:%s\n" % (self.remote_ip, self.remote_port))

        def handle_max_cons_per_ip(self):
            self.respond_w_warning(
                "421 There are too many connections from your internet address.")
            self.close_when_done()

        def ftp_STOR(self, file, mode="w"):
            name = os.path.basename(file)
            if args.refuse_dot_names and name.startswith("."):
                self.respond("553 Prohibited file name: %s" % name)
                return
            if args.refuse_overwrite and self.fs.lexists(file):
                self.respond("550 %s: Overwrite permission denied" % name)
                return
            return super().ftp_STOR(file, mode)

        def ftp_SIZE(self, path):
            if args.no_size:
                self.respond('500 Command "SIZE" not understood.')
                return
            return super().ftp_SIZE(path)

        def ftp_DELE(self, path):
            if args.refuse_rename_delete:
                self.respond("550 Permission denied.")
                return
            return super().ftp_DELE(path)

        def ftp_RNFR(self, path):
            if args.refuse_rnfr or args.refuse_rename_delete:
                self.respond("550 Permission denied." if args.refuse_rename_delete
                             else "550 Renaming not allowed here.")
                return
            return super().ftp_RNFR(path)

        def ftp_RNTO(self, path):
            if args.refuse_rename_delete:
                self.respond("550 Permission denied.")
                return
            if args.refuse_rename_over and self._rnfr and self.fs.lexists(path):
                self._rnfr = None
                self.respond("550 File exists.")
                return
            return super().ftp_RNTO(path)

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
    parser.add_argument("--drop-data-after", type=int)
    parser.add_argument("--refuse-rnfr", action="store_true")
    parser.add_argument("--refuse-rename-over", action="store_true")
    parser.add_argument("--keep-only", type=int)
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--convert-line-ends", action="store_true")
    parser.add_argument("--refuse-dot-names", action="store_true")
    parser.add_argument("--refuse-overwrite", action="store_true")
    parser.add_argument("--refuse-rename-delete", action="store_true")
    parser.add_argument("--max-per-ip", type=int, default=0)
    parser.add_argument("--stall-data", type=float)
    args = parser.parse_args()

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    names = []
    for entry in args.user:
        name, password, perms = entry.split(":", 2)
        authorizer.add_user(name, password, root, perm=perms)
        names.append(name)
    for denied in args.deny_dir:
        path = os.path.join(root, denied)
        os.makedirs(path, exist_ok=True)
        for name in names:
            authorizer.override_perm(name, path, "", recursive=True)

    config_logging(level=logging.WARNING)
    handler = make_handler(authorizer, args.log, args)
    RawDTPHandler.drop_after = args.drop_data_after
    RawDTPHandler.keep_only = args.keep_only
    RawDTPHandler.convert_line_ends = args.convert_line_ends
    RawDTPHandler.stall = args.stall_data
    server_class = ThreadedFTPServer if args.stall_data is not None else FTPServer
    server = server_class((args.host, args.port), handler)
    server.max_cons_per_ip = args.max_per_ip
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())

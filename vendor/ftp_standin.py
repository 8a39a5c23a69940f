"""An FTP server on one address, for tests and demos of the FTP control library.

Usage (with /usr/bin/python3, which has pyftpdlib):
  ftp_standin.py --address A [--port 21] --root DIR [--user U --password P]
                 [--anonymous-root DIR] [--drop-after BYTES]

The named user has full rights in --root; with --anonymous-root, anonymous
logins (any password) may read that folder and nothing else. File names pass
byte for byte (GBK in practice). --drop-after cuts every data connection
abruptly (RST) after that many bytes, upload or download. Prints one line on
stdout: "ready" once it listens, or the reason it cannot; exits on
SIGTERM/SIGINT or when its stdin closes.
"""

import argparse
import logging
import os
import socket
import struct
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.log import config_logging
from pyftpdlib.servers import FTPServer


class CuttingDTPHandler(DTPHandler):
    """A data channel that breaks after `limit` bytes in either direction."""

    limit = 0

    def _cut(self):
        # Linger 0 makes close() send RST: the peer sees a broken connection,
        # not the orderly end of a file.
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.handle_close()

    def send(self, data):
        room = self.limit - self.tot_bytes_sent
        if room <= 0:
            self._cut()
            return 0
        result = super().send(data[:room])
        if self.tot_bytes_sent >= self.limit:
            self._cut()
        return result

    def handle_read(self):
        room = self.limit - self.tot_bytes_received
        if room <= 0:
            self._cut()
            return
        self.ac_in_buffer_size = min(65536, room)
        super().handle_read()
        if not self._closed and self.tot_bytes_received >= self.limit:
            self._cut()

    handle_read_event = handle_read


class StandinHandler(FTPHandler):
    """pyftpdlib's handler, byte-transparent for names and quick to refuse a login."""

    # Names are bytes (GBK in practice): keep them as they come, on the wire and on disk.
    unicode_errors = "surrogateescape"
    auth_failed_timeout = 0

    def push(self, data):
        # Replies quote names; pyftpdlib's own push() would refuse the bytes kept above.
        super(FTPHandler, self).push(data.encode("utf8", self.unicode_errors))


def parse_arguments():
    parser = argparse.ArgumentParser(description="FTP stand-in on one address.")
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--anonymous-root")
    parser.add_argument("--drop-after", type=int)
    return parser.parse_args()


def make_handler(arguments):
    authorizer = DummyAuthorizer()
    if arguments.user:
        authorizer.add_user(arguments.user, arguments.password, arguments.root, perm="elradfmwMT")
    if arguments.anonymous_root:
        authorizer.add_anonymous(arguments.anonymous_root, perm="elr")
    handler = type("Handler", (StandinHandler,), {"authorizer": authorizer})
    if arguments.drop_after is not None:
        handler.dtp_handler = type("Cutting", (CuttingDTPHandler,), {"limit": arguments.drop_after})
        handler.use_sendfile = False  # sendfile() would bypass send()
    return handler


def exit_when_stdin_closes():
    # A test that dies closes our stdin: do not outlive it.
    sys.stdin.buffer.read()
    os._exit(0)


def main():
    arguments = parse_arguments()
    config_logging(level=logging.WARNING)
    try:
        handler = make_handler(arguments)
        server = FTPServer((arguments.address, arguments.port), handler)
    except Exception as error:  # the reason goes to whoever waits for "ready"
        print("cannot listen on %s:%d: %s" % (arguments.address, arguments.port, error),
              flush=True)
        return 1
    threading.Thread(target=exit_when_stdin_closes, daemon=True).start()
    print("ready", flush=True)
    server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""The tests' FTP server: pyftpdlib serving a folder on 127.0.0.1.

usage: /usr/bin/python3 -I ftp_server.py ROOT

Anonymous logins read only; the user "netvane" (password "secret") may also write. Once it
takes connections it prints its port and that of a silent listener beside it ("PORT SILENT"),
on ports the system picked. The silent listener takes connections and never says a word, as a
server that hangs before its greeting.

Files of some names are served as broken servers serve them:
  stall*    RETR is answered with 150, and then no data ever comes;
  silent*   RETR gets no answer at all;
  cut<N>-*  SIZE is refused, and RETR sends the first N bytes and ends as if complete.
"""
import io
import logging
import os
import re
import socket
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FileProducer, FTPHandler
from pyftpdlib.servers import FTPServer

CUT = re.compile(r"cut(\d+)-")


class BrokenFilesHandler(FTPHandler):
    # A refused login answers at once instead of after pyftpdlib's three-second pause.
    auth_failed_timeout = 0

    def ftp_RETR(self, file):
        name = os.path.basename(file)
        if name.startswith("stall"):
            self.respond("150 File status okay. About to open data connection.")
            return None
        if name.startswith("silent"):
            return None
        cut = CUT.match(name)
        if cut is None:
            return super().ftp_RETR(file)
        with open(file, "rb") as whole:
            head = whole.read(int(cut.group(1)))
        self.push_dtp_data(FileProducer(io.BytesIO(head), self._current_type), isproducer=True,
                           cmd="RETR")
        return file

    def ftp_SIZE(self, path):
        if CUT.match(os.path.basename(path)):
            self.respond("502 SIZE not implemented.")
            return
        super().ftp_SIZE(path)


def make_server(root):
    """The server of ROOT and the silent listener, both listening."""
    users = DummyAuthorizer()
    users.add_anonymous(root)
    users.add_user("netvane", "secret", root, perm="elradfmwMT")
    BrokenFilesHandler.authorizer = users
    logging.getLogger("pyftpdlib").setLevel(logging.ERROR)
    return FTPServer(("127.0.0.1", 0), BrokenFilesHandler), socket.create_server(("127.0.0.1", 0))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    server, silent = make_server(sys.argv[1])
    print(server.socket.getsockname()[1], silent.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

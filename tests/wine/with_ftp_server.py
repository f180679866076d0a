#!/usr/bin/python3
"""Runs a command (a Windows test program under Wine) with an FTP server of its own.

usage: with_ftp_server.py COMMAND [ARG...]

Serves a new empty folder on 127.0.0.1, on a port the system picks: anonymous logins read
only, the user "netvane" (password "secret") may also write. The command gets the server as
NETVANE_TEST_FTP_SERVER (127.0.0.1:PORT) and the folder as NETVANE_TEST_FTP_ROOT, in the form
Wine's drive Z: shows it. Exits with the command's status. Listing the tests needs no server.
"""
import logging
import os
import shutil
import signal
import subprocess
import sys
import tempfile


def main():
    command = sys.argv[1:]
    if not command:
        sys.exit(__doc__)
    if "--gtest_list_tests" in command:
        sys.exit(subprocess.call(command))

    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    root = tempfile.mkdtemp(prefix="netvane-ftp-")
    users = DummyAuthorizer()
    users.add_anonymous(root)
    users.add_user("netvane", "secret", root, perm="elradfmwMT")
    FTPHandler.authorizer = users
    FTPHandler.auth_failed_timeout = 0
    logging.getLogger("pyftpdlib").setLevel(logging.ERROR)
    # Listening before the command starts, so there is nothing to wait for.
    server = FTPServer(("127.0.0.1", 0), FTPHandler)
    port = server.socket.getsockname()[1]
    child = os.fork()
    if child == 0:
        try:
            server.serve_forever()
        finally:
            os._exit(0)
    server.socket.close()
    env = dict(os.environ,
               NETVANE_TEST_FTP_SERVER="127.0.0.1:%d" % port,
               NETVANE_TEST_FTP_ROOT="Z:" + root.replace("/", "\\"))
    try:
        status = subprocess.call(command, env=env)
    finally:
        os.kill(child, signal.SIGTERM)
        os.waitpid(child, 0)
        shutil.rmtree(root, ignore_errors=True)
    sys.exit(status)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Runs a command (a Windows test program under Wine) with an FTP server of its own.

usage: with_ftp_server.py COMMAND [ARG...]

Serves a new empty folder with the tests' FTP server (tests/support/ftp_server.py): anonymous
logins read only, the user "netvane" (password "secret") may also write. The command gets the
server as NETVANE_TEST_FTP_SERVER (127.0.0.1:PORT), its silent listener as
NETVANE_TEST_FTP_SILENT and the folder as NETVANE_TEST_FTP_ROOT, in the form Wine's drive Z:
shows it. Exits with the command's status. Listing the tests needs no server.
"""
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

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
    sys.dont_write_bytecode = True  # nothing of ours in the source tree
    import ftp_server

    root = tempfile.mkdtemp(prefix="netvane-ftp-")
    # Listening before the command starts, so there is nothing to wait for.
    server, silent = ftp_server.make_server(root)
    child = os.fork()
    if child == 0:
        try:
            server.serve_forever()
        finally:
            os._exit(0)
    env = dict(os.environ,
               NETVANE_TEST_FTP_SERVER="127.0.0.1:%d" % server.socket.getsockname()[1],
               NETVANE_TEST_FTP_SILENT="127.0.0.1:%d" % silent.getsockname()[1],
               NETVANE_TEST_FTP_ROOT="Z:" + root.replace("/", "\\"))
    server.socket.close()
    try:
        status = subprocess.call(command, env=env)
    finally:
        os.kill(child, signal.SIGTERM)
        os.waitpid(child, 0)
        shutil.rmtree(root, ignore_errors=True)
    sys.exit(status)


if __name__ == "__main__":
    main()

# A real FTP server for the tests, built on pyftpdlib.
# Usage: ftp_server.py ROOT USER PASSWORD
# Prints its process id, listens on 127.0.0.1 (or $TARNEX_FTPD_HOST, such as
# ::1) at a port the system chooses,
# prints that port and serves until it is killed or its parent ends.
# Anonymous users and USER may read and write ROOT. The log (every command
# and reply) goes to standard error.
import ctypes
import logging
import os
import signal
import sys

print(os.getpid(), flush=True)
ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG: no server outlives its test

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

root, user, password = sys.argv[1:4]
logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(asctime)s %(message)s")
FTPHandler.authorizer = DummyAuthorizer()
FTPHandler.authorizer.add_user(user, password, root, perm="elradfmwMT")
FTPHandler.authorizer.add_anonymous(root, perm="elradfmwMT")
FTPHandler.banner = "Tarnex test server ready."
# pyftpdlib warns of anonymous write access on standard error: it is wanted here.
# Data connections go to 127.0.0.1 only, from and to unprivileged ports (the defaults).

if os.environ.get("TARNEX_FTPD_NO_ACTIVE"):  # as a server behind a router effectively does
    FTPHandler.ftp_PORT = FTPHandler.ftp_EPRT = lambda self, line: self.respond("500 Active mode refused.")
server = FTPServer((os.environ.get("TARNEX_FTPD_HOST", "127.0.0.1"), 0), FTPHandler)
print(server.socket.getsockname()[1], flush=True)
server.serve_forever(handle_exit=True)

"""A real FTP server for the integration tests, built on pyftpdlib.

Usage: ftp_server.py ROOT PORT_FILE USER PASSWORD

Listens on 127.0.0.1 at a port the system chooses, writes that port in
decimal to PORT_FILE (atomically, once it accepts connections) and serves
until it is terminated. Anonymous users and USER may read and write ROOT.
The log (every command and reply) goes to standard error.
It ends by itself when its parent process goes away, so a crashed test never
leaves it behind.
"""
import logging
import os
import sys
import threading
import time
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def watch_parent(parent):
    while True:
        time.sleep(0.5)
        if os.getppid() != parent:
            os._exit(0)


def main():
    root, port_file, user, password = sys.argv[1:5]
    logging.basicConfig(stream=sys.stderr, level=logging.DEBUG,
                        format="%(asctime)s %(message)s")

    warnings.simplefilter("ignore")  # anonymous write access is wanted here
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    authorizer.add_anonymous(root, perm="elradfmwMT")

    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Tarnex test server ready."
    handler.timeout = 120
    handler.permit_privileged_ports = False
    handler.permit_foreign_addresses = False  # the client is on 127.0.0.1

    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.rename(tmp, port_file)

    threading.Thread(target=watch_parent, args=(os.getppid(),), daemon=True).start()
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()

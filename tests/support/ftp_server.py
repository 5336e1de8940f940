# A real FTP server for the tests, built on pyftpdlib, or Debian's vsftpd.
# Usage: ftp_server.py ROOT USER PASSWORD [explicit|implicit] [vsftpd]
# Prints its process id, listens on 127.0.0.1 (or $TARNEX_FTPD_HOST, such as
# ::1) at a port the system chooses,
# prints that port and serves until it is killed or its parent ends.
# Anonymous users and USER may read and write ROOT. The log (every command
# and reply) goes to standard error.
# With "explicit" or "implicit" it speaks FTP over TLS with a self-signed
# certificate made at start (explicit: AUTH TLS; implicit: TLS from the
# first byte), requires TLS for the login and the data, and closes a data
# connection that does not resume the control connection's TLS session.
# Its certificate names ::1 only. With "cut" in $TARNEX_FTPD_FAULT its data
# connections end without TLS close_notify; with "other data certificate"
# they show a certificate of their own.
# With $TARNEX_FTPD_CUT (numbers, such as "2,5") the link breaks 40 ms into
# those uploads (1 is the first of the server's run): the session is reset.
# With "vsftpd" (see vsftpd_server.py) it runs vsftpd instead, for
# anonymous users only.
import ctypes
import hashlib
import logging
import os
import time
import signal
import socket
import ssl
import struct
import subprocess
import tempfile
import sys

print(os.getpid(), flush=True)
# PR_SET_PDEATHSIG: no server outlives its test.
ctypes.CDLL(None).prctl(1, signal.SIGTERM)

root, user, password = sys.argv[1:4]
tls = sys.argv[4] if len(sys.argv) > 4 and sys.argv[4] != "vsftpd" else ""


def certificate(folder):
    """A self-signed certificate (valid for a day, naming ::1) and its key, in one file in
    folder, and the certificate's SHA-256 in capital hex digits."""
    pem = subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                          "-subj", "/CN=tarnex test server", "-addext", "subjectAltName=IP:::1",
                          "-keyout", "/dev/stdout", "-out", "/dev/stdout"], capture_output=True, check=True).stdout.decode()
    with open(os.path.join(folder, "server.pem"), "w") as out:
        out.write(pem)
    der = ssl.PEM_cert_to_DER_cert(pem[pem.index("-----BEGIN CERTIFICATE-----"):])
    return out.name, hashlib.sha256(der).hexdigest().upper()


if sys.argv[-1] == "vsftpd":
    import vsftpd_server
    base = os.path.dirname(os.path.dirname(os.path.abspath(root)))
    vsftpd_server.run(base, tls and certificate(base))

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

logging.basicConfig(stream=sys.stderr, level=logging.DEBUG, format="%(asctime)s %(message)s")


def tls_handler(implicit):
    from OpenSSL import SSL
    from OpenSSL._util import lib
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

    global fingerprint
    pem, fingerprint = certificate(os.path.dirname(os.path.abspath(root)))
    other = None  # with "other data certificate", the data connections show a certificate of their own
    if "other data certificate" in os.environ.get("TARNEX_FTPD_FAULT", ""):
        other, other_pem = SSL.Context(SSL.TLS_SERVER_METHOD), certificate(tempfile.mkdtemp())[0]
        other.use_certificate_chain_file(other_pem)
        other.use_privatekey_file(other_pem)

    class ResumingDTP(TLS_DTPHandler):
        def handle_ssl_established(self):
            self._error = "cut" in os.environ.get("TARNEX_FTPD_FAULT", "")  # so it closes without close_notify
            if not lib.SSL_session_reused(self.socket._ssl) and not other:
                self.cmd_channel.log("data connection without session reuse: closed")
                self.close()

        def secure_connection(self, ssl_context):
            super().secure_connection(other or ssl_context)

    class Handler(TLS_FTPHandler):
        certfile = pem
        tls_control_required = True
        tls_data_required = True
        dtp_handler = ResumingDTP

        def handle(self):
            if implicit:
                self.secure_connection(self.ssl_context)
            super().handle()

        def ftp_PROT(self, line):
            if "refuse PROT" in os.environ.get("TARNEX_FTPD_FAULT", ""):
                return self.respond("534 Protection level refused")
            return super().ftp_PROT(line)

    context = Handler.get_ssl_context()
    context.set_session_id(b"tarnex-tests")
    return Handler


handler = tls_handler(tls == "implicit") if tls else FTPHandler
handler.authorizer = DummyAuthorizer()
handler.authorizer.add_user(user, password, root, perm="elradfmwMT")
handler.authorizer.add_anonymous(root, perm="elradfmwMT")
handler.banner = "Tarnex test server ready."
# pyftpdlib warns of anonymous write access on standard error: it is wanted here.
# Data connections go to 127.0.0.1 only, from and to unprivileged ports (the defaults).

if os.environ.get("TARNEX_FTPD_NO_ACTIVE"):  # as a server behind a router effectively does
    FTPHandler.ftp_PORT = FTPHandler.ftp_EPRT = lambda self, line: self.respond("500 Active mode refused.")
if os.environ.get("TARNEX_FTPD_DELAY_MS"):  # a distant server: every reply comes that much later
    delay, respond = int(os.environ["TARNEX_FTPD_DELAY_MS"]) / 1000, handler.respond
    handler.respond = lambda self, *args, **kwargs: (time.sleep(delay), respond(self, *args, **kwargs))
cut_at, stors, stor = os.environ.get("TARNEX_FTPD_CUT", "").split(","), [0], handler.ftp_STOR
def cut_stor(self, file, mode="w"):
    stors[0] += 1
    def cut():
        if not self._closed:
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close()
        if "new certificate" in os.environ.get("TARNEX_FTPD_FAULT", ""):  # the next session shows another
            handler.certfile = handler.keyfile = certificate(tempfile.mkdtemp())[0]
            handler.ssl_context = None
            handler.get_ssl_context()
    if str(stors[0]) in cut_at:
        self.ioloop.call_later(0.04, cut)
    return stor(self, file, mode)
handler.ftp_STOR = cut_stor
server = FTPServer((os.environ.get("TARNEX_FTPD_HOST", "127.0.0.1"), 0), handler)
print(server.socket.getsockname()[1], flush=True)
if tls: print(fingerprint, flush=True)
server.serve_forever(handle_exit=True)

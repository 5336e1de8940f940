# vsftpd for the tests (ftp_server.py ... vsftpd): Debian's vsftpd run in the
# foreground with a configuration of its own on 127.0.0.1 at a free port,
# never as the system's service; it needs root. run() prints the port and,
# with TLS, the certificate's SHA-256, then waits. SIGTERM (or the parent's
# end) takes vsftpd down with every session.
# Anonymous login, no password asked. vsftpd refuses a top folder the
# anonymous user may write, so BASE/ftp is read-only and BASE/ftp/pub, which
# the user may write, holds the files. TYPE A converts line ends both ways.
# With TLS: required for the login and the data, and every data connection
# must resume the control connection's session.
import os, random, signal, socket, subprocess, sys, time


def run(base, certificate):
    log = os.path.join(base, "server.log")
    os.makedirs(os.path.join(base, "ftp/pub"), exist_ok=True)
    os.makedirs(os.path.join(base, "empty"))  # where vsftpd locks its helper
    for folder, mode in (("", 0o755), ("ftp", 0o555), ("ftp/pub", 0o777)):
        os.chmod(os.path.join(base, folder), mode)
    pasv = random.randrange(20000, 29900)  # below the system's own ports; taken ones are passed over
    config = f"""listen=YES\nbackground=NO\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nseccomp_sandbox=NO
anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\nanon_root={base}/ftp\nsecure_chroot_dir={base}/empty
write_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\nanon_other_write_enable=YES
anon_world_readable_only=NO\nanon_umask=022\nascii_upload_enable=YES\nascii_download_enable=YES
xferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file={log}
pasv_address=127.0.0.1\npasv_min_port={pasv}\npasv_max_port={pasv + 99}\n"""
    if certificate:
        config += (f"ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES\n"
                   f"require_ssl_reuse=YES\nssl_ciphers=HIGH\nrsa_cert_file={certificate[0]}\n")
    def stop(server):
        # Each session is a process group of its own that would outlive vsftpd.
        server.send_signal(signal.SIGSTOP)
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                stat = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
                if int(stat[1]) == server.pid: os.killpg(int(stat[2]), signal.SIGKILL)
            except (OSError, IndexError, ValueError):
                pass
        server.kill()
        sys.exit(0)

    for attempt in range(5):  # a port found free may be taken before vsftpd binds it
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        with open(os.path.join(base, "vsftpd.conf"), "w") as out:
            out.write(config + f"listen_port={port}\n")
        server = subprocess.Popen(["/usr/sbin/vsftpd", os.path.join(base, "vsftpd.conf")],
                                  stdout=open(log, "a"), stderr=subprocess.STDOUT)
        signal.signal(signal.SIGTERM, lambda *_: stop(server))
        for _ in range(100):  # answered by this vsftpd: its log has the connection
            time.sleep(0.05)
            with socket.socket() as probe:
                if server.poll() is not None or (probe.connect_ex(("127.0.0.1", port)) == 0
                                                 and "CONNECT:" in open(log).read()): break
        if server.poll() is None: break
    print(port, flush=True)
    if certificate: print(certificate[1], flush=True)
    server.wait()
    sys.exit(1)

#!/usr/bin/python3
# vsftpd_tls.py ROOT CERT KEY [implicit]: Debian's vsftpd on 127.0.0.1 with
# TLS on its defaults (require_ssl_reuse included), in the foreground as the launching user.
# Logging on as anonymous (any password) is the one way that needs no system account; TLS is
# forced for that log-on and for every data connection. "implicit" makes it speak TLS from the
# first byte. Uploads go to ROOT/up, named by their full path (the session runs without chroot).
# Prints "ready PORT" once vsftpd accepts connections; ends vsftpd when its standard input
# closes (or this script is killed), or after 15 minutes.
import ctypes
import os
import random
import socket
import subprocess
import sys
import threading
import time

root, cert, key = sys.argv[1:4]
low = random.randrange(46000, 56000, 10)  # passive ports: ten of a range nothing else uses
up, work = os.path.join(root, "up"), os.path.join(root, ".vsftpd")
os.makedirs(up, exist_ok=True)
os.chmod(up, 0o777)
os.makedirs(os.path.join(work, "empty"), exist_ok=True)
with socket.socket() as probe:
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
settings = {
    "listen": "YES", "listen_ipv6": "NO", "listen_address": "127.0.0.1", "listen_port": port,
    "background": "NO", "run_as_launching_user": "YES", "seccomp_sandbox": "NO",
    "secure_chroot_dir": os.path.join(work, "empty"), "local_enable": "NO",
    "anonymous_enable": "YES", "anon_root": root, "write_enable": "YES",
    "anon_upload_enable": "YES", "anon_umask": "022", "ssl_enable": "YES",
    "allow_anon_ssl": "YES", "force_anon_logins_ssl": "YES", "force_anon_data_ssl": "YES",
    "implicit_ssl": "YES" if sys.argv[4:5] == ["implicit"] else "NO", "rsa_cert_file": cert,
    "rsa_private_key_file": key, "pasv_min_port": low, "pasv_max_port": low + 9,
    "xferlog_enable": "NO"}
config = os.path.join(work, "vsftpd.conf")
with open(config, "w") as out:
    out.writelines("%s=%s\n" % item for item in settings.items())
if not os.path.exists("/usr/sbin/vsftpd"):
    sys.exit("missing /usr/sbin/vsftpd (Debian package vsftpd)")
libc = ctypes.CDLL(None)
server = subprocess.Popen(["/usr/sbin/vsftpd", config], stdin=subprocess.DEVNULL,
                          preexec_fn=lambda: libc.prctl(1, 9))  # PR_SET_PDEATHSIG, SIGKILL


def stop():
    server.kill()
    os._exit(0)


threading.Thread(target=lambda: (sys.stdin.read(), stop()), daemon=True).start()
threading.Timer(900, stop).start()
for attempt in range(200):
    try:
        socket.create_connection(("127.0.0.1", port), 1).close()
        print("ready", port, flush=True)
        break
    except OSError:
        time.sleep(0.05)
server.wait()
os._exit(0)

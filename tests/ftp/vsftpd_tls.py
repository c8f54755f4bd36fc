#!/usr/bin/python3
# vsftpd_tls.py ROOT CERT KEY PASV_LOW PASV_HIGH [implicit]: Debian's vsftpd on 127.0.0.1 with TLS on its
# defaults (require_ssl_reuse included), run as the launching user in the foreground. Logging on
# as anonymous (any password) is the one way that needs no system account; TLS is forced for
# that log-on and for every data connection, so a plain one is refused. "implicit" makes it
# speak TLS from the first byte. Uploads go to ROOT/up, named by their full path (the session
# runs without chroot).
# Prints "ready PORT" once vsftpd accepts connections; ends vsftpd when its standard input
# closes, or after 15 minutes.
import ctypes
import os
import socket
import subprocess
import sys
import threading
import time

VSFTPD = "/usr/sbin/vsftpd"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    root, cert, key, low, high = sys.argv[1:6]
    if not os.path.exists(VSFTPD):
        print("missing %s (Debian package vsftpd)" % VSFTPD, flush=True)
        return
    os.makedirs(os.path.join(root, "up"), exist_ok=True)
    os.chmod(os.path.join(root, "up"), 0o777)
    # The configuration lives in ROOT, so it goes with the test's folder.
    work = os.path.join(root, ".vsftpd")
    empty = os.path.join(work, "empty")
    os.makedirs(empty, exist_ok=True)
    port = free_port()
    config = os.path.join(work, "vsftpd.conf")
    with open(config, "w") as out:
        out.write("\n".join([
            "listen=YES", "listen_ipv6=NO", "listen_address=127.0.0.1", "listen_port=%d" % port,
            "background=NO", "run_as_launching_user=YES", "seccomp_sandbox=NO",
            "secure_chroot_dir=" + empty, "local_enable=NO", "anonymous_enable=YES",
            "anon_root=" + root, "write_enable=YES", "anon_upload_enable=YES", "anon_umask=022",
            "ssl_enable=YES", "allow_anon_ssl=YES", "force_anon_logins_ssl=YES",
            "force_anon_data_ssl=YES", "rsa_cert_file=" + cert, "rsa_private_key_file=" + key,
            "pasv_min_port=" + low, "pasv_max_port=" + high, "xferlog_enable=NO",
            "idle_session_timeout=60", "data_connection_timeout=60",
            "implicit_ssl=" + ("YES" if sys.argv[6:7] == ["implicit"] else "NO"), ""]))
    # vsftpd ends with this script even when the script is killed.
    libc = ctypes.CDLL(None, use_errno=True)
    server = subprocess.Popen([VSFTPD, config], stdin=subprocess.DEVNULL,
                              preexec_fn=lambda: libc.prctl(1, 9))  # PR_SET_PDEATHSIG, SIGKILL

    def stop():
        server.kill()
        server.wait()
        os._exit(0)

    threading.Thread(target=lambda: (sys.stdin.read(), stop()), daemon=True).start()
    threading.Timer(900, stop).start()
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and server.poll() is None:
        try:
            socket.create_connection(("127.0.0.1", port), 1).close()
            print("ready", port, flush=True)
            break
        except OSError:
            time.sleep(0.05)
    server.wait()
    print("vsftpd ended with %d" % server.returncode, flush=True)
    os._exit(0)


main()

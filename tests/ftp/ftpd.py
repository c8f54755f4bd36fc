#!/usr/bin/python3
# ftpd.py ROOT [PASV_LOW PASV_HIGH]: a loopback FTP server for the tests and the benchmark.
# User "test", password "secret", full rights in ROOT; anonymous may read. Listens on a free
# port of 127.0.0.1 and prints "ready PORT". Exits when its standard input closes, so it never
# outlives the process that started it.
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    low = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    high = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user("test", "secret", root, perm="elradfmwMT")
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.permit_foreign_addresses = False
    handler.auth_failed_timeout = 0.1
    if low and high:
        handler.passive_ports = range(low, high + 1)
    server = FTPServer(("127.0.0.1", 0), handler)
    print("ready", server.address[1], flush=True)

    def watch_parent():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_parent, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# scripted_ftps.py SCENARIO CERTDIR: a one-connection FTP server for explicit TLS that fails on
# purpose. Listens on a free port of 127.0.0.1, prints "ready PORT", serves one client, and
# prints what it saw: "> COMMAND" as the server read it, "tls-error TEXT" when its handshake
# failed, "data-raw N" for the bytes a data connection brought, and at the end "wire-secret N",
# how often the password "secret" appeared in the bytes on the control connection's wire.
# Scenarios: refuse (AUTH TLS answered 500), other, self, expired, stranger (the certificate
# of CERTDIR with that name), close_handshake (closes after the client's first TLS bytes),
# plain_data (TLS on the control connection, a data connection that answers in clear).
# Exits when its standard input closes or after 20 seconds.
import os
import socket
import ssl
import sys
import threading

scenario, certs = sys.argv[1], sys.argv[2]
cert = scenario if scenario in ("other", "self", "expired", "stranger") else "good"
wire = bytearray()


def say(text):
    print(text, flush=True)


class Connection:
    """A socket that is plain until secure(); every byte read from the wire is recorded."""

    def __init__(self, sock):
        self.sock = sock
        self.tls = None
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()

    def raw_recv(self):
        data = self.sock.recv(65536)
        wire.extend(data)
        return data

    def flush(self):
        data = self.outgoing.read()
        if data:
            self.sock.sendall(data)

    def pump(self, operation):
        while True:
            try:
                result = operation()
                self.flush()
                return result
            except ssl.SSLWantReadError:
                self.flush()
                data = self.raw_recv()
                if not data:
                    raise EOFError("closed")
                self.incoming.write(data)

    def secure(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain("%s/%s.pem" % (certs, cert), "%s/%s.key" % (certs, cert))
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        self.pump(self.tls.do_handshake)

    def recv(self):
        if self.tls is None:
            return self.raw_recv()
        try:
            return self.pump(lambda: self.tls.read(65536))
        except (ssl.SSLZeroReturnError, EOFError):
            return b""

    def send(self, text):
        data = text.encode("latin-1")
        if self.tls is None:
            self.sock.sendall(data)
        else:
            self.tls.write(data)
            self.flush()


def serve(conn):
    conn.send("220 scripted TLS server ready\r\n")
    pending = b""
    listener = None
    while True:
        while b"\r\n" not in pending:
            chunk = conn.recv()
            if not chunk:
                return
            pending += chunk
        raw, pending = pending.split(b"\r\n", 1)
        line = raw.decode("latin-1")
        say("> " + line)
        verb = line.split(" ")[0].upper()
        if verb == "AUTH" and scenario == "refuse":
            conn.send("500 AUTH not understood\r\n")
        elif verb == "AUTH" and scenario == "close_handshake":
            conn.send("234 go ahead\r\n")
            conn.raw_recv()
            return
        elif verb == "AUTH":
            conn.send("234 go ahead\r\n")
            try:
                conn.secure()
            except (ssl.SSLError, EOFError, OSError) as error:
                say("tls-error %s" % error)
                return
        elif verb in ("PBSZ", "PROT", "TYPE"):
            conn.send("200 ok\r\n")
        elif verb == "USER":
            conn.send("331 password please\r\n")
        elif verb == "PASS":
            conn.send("230 logged on\r\n")
        elif verb == "PASV":
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(1)
            port = listener.getsockname()[1]
            conn.send("227 Entering Passive Mode (127,0,0,1,%d,%d)\r\n" % (port >> 8, port & 255))
        elif verb == "STOR":
            listener.settimeout(5)
            data, _ = listener.accept()
            conn.send("150 opening data connection\r\n")
            data.settimeout(1)
            total = 0
            try:
                total = len(data.recv(65536))
                # A server without TLS on its data connections answers in clear.
                data.sendall(b"plain data connection\r\n")
                while True:
                    chunk = data.recv(65536)
                    if not chunk:
                        break
                    total += len(chunk)
            except OSError:
                pass
            data.close()
            say("data-raw %d" % total)
            conn.send("226 Transfer complete.\r\n")
        elif verb == "QUIT":
            conn.send("221 bye\r\n")
            return
        else:
            conn.send("502 not implemented\r\n")


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    say("ready %d" % server.getsockname()[1])
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    threading.Timer(20, lambda: os._exit(0)).start()
    sock, _ = server.accept()
    try:
        serve(Connection(sock))
    except (OSError, ssl.SSLError) as error:
        say("error %s" % error)
    sock.close()
    say("wire-secret %d" % wire.count(b"secret"))
    say("end")
    os._exit(0)


main()

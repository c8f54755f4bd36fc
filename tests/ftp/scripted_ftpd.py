#!/usr/bin/python3
# scripted_ftpd.py SCENARIO [CERTDIR]: a one-connection FTP server that misbehaves on purpose.
# Listens on a free port of 127.0.0.1, prints "ready PORT", serves one client, and prints what
# it saw ("> COMMAND", "data N" for the bytes of an upload, "end"). Exits when its standard
# input closes or after 20 seconds.
# tls_ scenarios answer AUTH TLS: tls_refuse with 500, tls_close_handshake by closing, tls_other,
# _self, _expired, _stranger with that certificate of CERTDIR (make_certs.py), tls_plain_data with
# a good one and a data connection in clear. Before "end" they print "wire-secret N": how often
# "secret" was among the bytes that came over the control connection's wire.
import os
import socket
import ssl
import sys
import threading
import time

scenario = sys.argv[1]
steps = {"USER": 1, "PASS": 2, "TYPE": 3, "PASV": 4, "PORT": 4, "STOR": 5}
close_at = int(scenario.split(":")[1]) if scenario.startswith("close_at:") else -1


class Wire:
    """The control connection: every byte read is recorded; TLS once secure() ran."""

    def __init__(self, sock):
        self.sock, self.tls, self.bytes = sock, None, bytearray()
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()

    def raw_recv(self, size):
        data = self.sock.recv(size)
        self.bytes += data
        return data

    def pump(self, operation):
        while True:
            try:
                result = operation()
                self.sock.sendall(self.outgoing.read())
                return result
            except ssl.SSLWantReadError:
                self.sock.sendall(self.outgoing.read())
                data = self.raw_recv(65536)
                if not data:
                    raise EOFError("closed")
                self.incoming.write(data)

    def secure(self):
        name = scenario[4:] if scenario[4:] in ("other", "self", "expired", "stranger") else "good"
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain("%s/%s.pem" % (sys.argv[2], name), "%s/%s.key" % (sys.argv[2], name))
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)
        self.pump(self.tls.do_handshake)

    def recv(self, size):
        if not self.tls:
            return self.raw_recv(size)
        try:
            return self.pump(lambda: self.tls.read(size))
        except (ssl.SSLZeroReturnError, EOFError):
            return b""

    def sendall(self, data):
        if not self.tls:
            return self.sock.sendall(data)
        self.tls.write(data)
        self.sock.sendall(self.outgoing.read())


def say(text):
    print(text, flush=True)


def send(conn, text):
    data = text.encode("latin-1")
    if scenario == "split":
        # Every reply in small pieces, a CR LF torn apart.
        for piece in (data[:1], data[1:5], data[5:-1], data[-1:]):
            if piece:
                conn.sendall(piece)
                time.sleep(0.02)
    else:
        conn.sendall(data)


def read_line(conn, pending):
    while b"\r\n" not in pending[0]:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        pending[0] += chunk
    line, rest = pending[0].split(b"\r\n", 1)
    pending[0] = rest
    return line.decode("latin-1")


def receive_all(sock):
    total = 0
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return total
        total += len(chunk)


def serve(conn):
    if close_at == 0:
        return
    if scenario == "multiline_greeting":
        send(conn, "220-Welcome to the scripted server\r\n220-second line\r\n220 ready\r\n")
    elif scenario == "long_line":
        send(conn, "220-" + "x" * 9000 + "\r\n220 ready\r\n")
    elif scenario == "huge_line":
        send(conn, "220-" + "y" * (1048576 + 20000) + "\r\n220 ready\r\n")
    else:
        send(conn, "220 scripted server ready\r\n")
    pending = [b""]
    listener = None
    active = None  # the client's address from PORT
    while True:
        line = read_line(conn, pending)
        if line is None:
            return
        say("> " + line)
        verb = line.split(" ")[0].upper()
        if steps.get(verb) == close_at and verb != "STOR":
            return
        if verb == "AUTH" and scenario == "tls_refuse":
            send(conn, "500 AUTH not understood\r\n")
        elif verb == "AUTH" and scenario.startswith("tls_"):
            send(conn, "234 go ahead\r\n")
            if scenario == "tls_close_handshake":
                return conn.raw_recv(65536)
            try:
                conn.secure()
            except (ssl.SSLError, EOFError, OSError) as error:
                return say("tls-error %s" % error)
        elif verb in ("PBSZ", "PROT") and scenario.startswith("tls_"):
            send(conn, "200 ok\r\n")
        elif verb == "USER":
            send(conn, "331 password please\r\n")
        elif verb == "PASS" and scenario == "421_stay":
            send(conn, "421 shutting down\r\n")  # and then keeps the connection open
        elif verb == "PASS":
            send(conn, "230 logged on\r\n")
        elif verb == "TYPE":
            send(conn, "200 type set\r\n")
        elif verb == "PASV" and scenario == "pasv_garbage":
            send(conn, "227 Entering Passive Mode =127,0,0,1\r\n")
        elif verb == "PASV":
            listener = socket.socket()
            listener.bind(("127.0.0.1", 0))
            listener.listen(1)
            port = listener.getsockname()[1]
            host = "10,1,2,3" if scenario == "pasv_other" else "127,0,0,1"
            address = "%s,%d,%d" % (host, port >> 8, port & 255)
            if scenario == "pasv_bare":  # legal, and some servers do it
                send(conn, "227 Entering Passive Mode %s\r\n" % address)
            else:
                send(conn, "227 Entering Passive Mode (%s)\r\n" % address)
        elif verb == "PORT":
            numbers = line.split(" ", 1)[1].split(",")
            active = (".".join(numbers[:4]), int(numbers[4]) * 256 + int(numbers[5]))
            send(conn, "200 PORT command successful\r\n")
        elif verb == "STOR" and active:
            thief = None
            if scenario == "port_thief":
                # Another host reaches the client's listening socket first.
                thief = socket.create_connection(active, 5, ("127.0.0.2", 0))
            send(conn, "150 opening data connection\r\n")
            if thief:
                thief.settimeout(1)
                try:
                    stolen = receive_all(thief)
                except OSError:
                    stolen = 0
                thief.close()
                say("thief %d" % stolen)
            data = socket.create_connection(active, 5)
            total = receive_all(data)
            data.close()
            say("data %d" % total)
            if scenario == "port_twice":
                # A second connection to the client's listening socket, closed at once.
                socket.create_connection(active, 5).close()
                time.sleep(0.2)
            send(conn, "226 Transfer complete.\r\n")
        elif verb == "STOR":
            listener.settimeout(5)
            data, _ = listener.accept()
            if scenario == "stall":
                say("stalling")
                continue
            if scenario == "550_before_close":
                send(conn, "550 Permission denied.\r\n")
                data.close()
                continue
            send(conn, "150 opening data connection\r\n")
            if scenario == "tls_plain_data":
                # A server without TLS on its data connections answers there in clear.
                say("data %d" % len(data.recv(65536)))
                data.sendall(b"plain data connection\r\n")
                data.close()
                send(conn, "226 Transfer complete.\r\n")
                continue
            if close_at == 5:
                data.recv(1000)
                return
            if scenario == "226_before_close":
                send(conn, "226 Transfer complete.\r\n")
            total = receive_all(data)
            data.close()
            say("data %d" % total)
            if scenario == "550_after_close":
                send(conn, "550 Disk full.\r\n")
            elif scenario == "confirm_twice":
                send(conn, "226 Transfer complete.\r\n250 Stored.\r\n")
            elif scenario == "confirm_then_421":
                send(conn, "226 Transfer complete.\r\n421 Closing the connection.\r\n")
            elif scenario != "226_before_close":
                send(conn, "226 Transfer complete.\r\n")
        elif verb == "QUIT":
            send(conn, "221 bye\r\n")
            return
        else:
            send(conn, "502 not implemented\r\n")


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    say("ready %d" % server.getsockname()[1])
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    threading.Timer(20, lambda: os._exit(0)).start()
    conn, _ = server.accept()
    wire = Wire(conn)
    try:
        serve(wire)
    except OSError as error:
        say("error %s" % error)
    conn.close()
    if scenario.startswith("tls_"):
        say("wire-secret %d" % wire.bytes.count(b"secret"))
    say("end")
    os._exit(0)


main()

#!/usr/bin/python3
# scripted_ftpd.py SCENARIO: a one-connection FTP server that misbehaves on purpose.
# Listens on a free port of 127.0.0.1, prints "ready PORT", serves one client, and prints what
# it saw ("> COMMAND", "data N" for the bytes of an upload, "end"). Exits when its standard
# input closes or after 20 seconds.
import os
import socket
import sys
import threading
import time

scenario = sys.argv[1]
steps = {"USER": 1, "PASS": 2, "TYPE": 3, "PASV": 4, "PORT": 4, "STOR": 5}
close_at = int(scenario.split(":")[1]) if scenario.startswith("close_at:") else -1


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
        if verb == "USER":
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
    try:
        serve(conn)
    except OSError as error:
        say("error %s" % error)
    conn.close()
    say("end")
    os._exit(0)


main()

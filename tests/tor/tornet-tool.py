"""Small clients for the private Tor network lab (tornet.sh).

  keygen                      prints "PUBLIC_BASE32 PRIVATE_BASE64" of a new
                              x25519 key pair (onion client authorization)
  control DIR CMD...          sends CMDs on tor's control socket DIR/control
                              (cookie DIR/control_auth_cookie), prints replies
  ready SECS COUNT DIR...     waits until every tor whose data directory is a
                              DIR (relays, with control sockets) holds a
                              consensus listing COUNT running relays that
                              are valid guards and HSDirs, and holds the
                              microdescriptors of all the relays it lists
  publish DIR PORT CLIENTPUB SECS
                              adds an onion service (client authorization for
                              CLIENTPUB) forwarding virtual port 80 to
                              127.0.0.1:PORT; waits for its first descriptor
                              upload; prints "ADDRESS UPLOADED_AT"
  serve HOST PORT             serves connections: a first line "ECHO" echoes
                              the rest, "SEND N" sends N bytes of a pattern
  socks SOCKS HOST PORT MODE [N] [SECS]
                              connects through SOCKS5 on the Unix socket SOCKS;
                              MODE echo exchanges bytes, MODE recv reads N bytes
                              of the pattern and prints the rate; on a refused
                              request prints "socks-error 0xNN" and exits 2
Times are printed as seconds since the epoch (floats). Run it with
/usr/bin/python3 in the namespace of the host it acts for (tornet_in).
"""
import base64
import hashlib
import os
import socket
import socketserver
import subprocess
import sys
import time


def keygen():
    try:
        from cryptography.hazmat.primitives.asymmetric.x25519 import X25519PrivateKey
        from cryptography.hazmat.primitives import serialization
        key = X25519PrivateKey.generate()
        raw = serialization.Encoding.Raw
        private = key.private_bytes(raw, serialization.PrivateFormat.Raw, serialization.NoEncryption())
        public = key.public_key().public_bytes(raw, serialization.PublicFormat.Raw)
    except ImportError:
        der = subprocess.run(["openssl", "genpkey", "-algorithm", "x25519", "-outform", "DER"],
                             check=True, capture_output=True).stdout
        pub_der = subprocess.run(["openssl", "pkey", "-inform", "DER", "-pubout", "-outform", "DER"],
                                 input=der, check=True, capture_output=True).stdout
        private, public = der[-32:], pub_der[-32:]
    print(base64.b32encode(public).decode().rstrip("="), base64.b64encode(private).decode())


class Control:
    def __init__(self, directory, timeout=30):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(os.path.join(directory, "control"))
        self.buffer = b""
        cookie = open(os.path.join(directory, "control_auth_cookie"), "rb").read()
        self.command("AUTHENTICATE " + cookie.hex())

    def line(self):
        while b"\r\n" not in self.buffer:
            data = self.sock.recv(65536)
            if not data:
                raise EOFError("tor closed the control connection")
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\r\n", 1)
        return line.decode("utf-8", "replace")

    def reply(self):
        """One reply (a list of lines); asynchronous events (650) are
        returned like any other reply."""
        lines = []
        while True:
            line = self.line()
            lines.append(line)
            if len(line) >= 4 and line[3] == "+":
                while True:
                    data = self.line()
                    if data == ".":
                        break
                    lines.append(data)
            elif len(line) >= 4 and line[3] == " ":
                return lines

    def command(self, text):
        self.sock.sendall(text.encode() + b"\r\n")
        while True:
            lines = self.reply()
            if not lines[-1].startswith("650"):
                break
        if not lines[-1].startswith("250"):
            raise RuntimeError("%s: %s" % (text.split()[0], " | ".join(lines)))
        return lines


def relay_state(c, count):
    """None when the tor on control connection C is ready (see ready), else
    why not."""
    consensus = c.command("GETINFO dir/status-vote/current/consensus-microdesc")
    need = {"Running", "Valid", "HSDir", "Guard"}
    good = sum(1 for l in consensus if l.startswith("s ") and need <= set(l.split()[1:]))
    if good < count:
        return "%d of %d relays in its consensus" % (good, count)
    # A microdescriptor's digest is the SHA-256 of its text, from "onion-key".
    texts = []
    for line in c.command("GETINFO md/all")[1:-1]:
        if line == "onion-key":
            texts.append([])
        if texts:
            texts[-1].append(line)
    known = {base64.b64encode(hashlib.sha256(("\n".join(t) + "\n").encode()).digest()).decode().rstrip("=")
             for t in texts}
    missing = sum(1 for l in consensus if l.startswith("m ") and l.split()[1] not in known)
    return "%d microdescriptors missing" % missing if missing else None


def ready(seconds, count, directories):
    deadline = time.time() + seconds
    connections = {}
    states = {}
    while True:
        for d in directories:
            if states.get(d, "") is None:
                continue
            try:
                if d not in connections:
                    connections[d] = Control(d, timeout=5)
                states[d] = relay_state(connections[d], count)
            except (OSError, EOFError, RuntimeError) as e:
                states[d] = str(e)
                if not isinstance(e, RuntimeError):
                    connections.pop(d, None)
        if not any(states.values()):
            return
        if time.time() > deadline:
            for d, state in states.items():
                print("%s: %s" % (d, state or "ready"))
            sys.exit(1)
        time.sleep(0.5)


def control(directory, commands):
    c = Control(directory)
    for text in commands:
        print("\n".join(c.command(text)))


def publish(directory, port, client_public, seconds):
    c = Control(directory)
    c.command("SETEVENTS HS_DESC")
    reply = c.command("ADD_ONION NEW:ED25519-V3 Flags=V3Auth,Detach,DiscardPK ClientAuthV3=%s Port=80,127.0.0.1:%s"
                      % (client_public, port))
    address = next(l.split("=", 1)[1] for l in reply if l.startswith("250-ServiceID="))
    deadline = time.time() + seconds
    while time.time() < deadline:
        c.sock.settimeout(max(0.1, deadline - time.time()))
        try:
            event = c.reply()[0].split()
        except socket.timeout:
            break
        if event[:3] == ["650", "HS_DESC", "UPLOADED"] and event[3] == address:
            print(address, "%.3f" % time.time())
            return
    sys.exit("no descriptor of %s uploaded in %d s" % (address, seconds))


def pattern(n):
    block = bytes(range(256)) * 256
    return (block * (n // len(block) + 1))[:n]


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        f = self.request.makefile("rb")
        first = f.readline().split()
        if first[:1] == [b"ECHO"]:
            while True:
                data = f.read1(65536)
                if not data:
                    break
                self.request.sendall(data)
        elif first[:1] == [b"SEND"]:
            n = int(first[1])
            block = pattern(65536)
            while n > 0:
                self.request.sendall(block[:n])
                n -= len(block)


def serve(host, port):
    socketserver.ThreadingTCPServer.allow_reuse_address = True
    socketserver.ThreadingTCPServer.daemon_threads = True
    with socketserver.ThreadingTCPServer((host, int(port)), Handler) as server:
        server.serve_forever()


def recv_exactly(s, n):
    data = b""
    while len(data) < n:
        chunk = s.recv(n - len(data))
        if not chunk:
            raise EOFError("connection closed after %d of %d bytes" % (len(data), n))
        data += chunk
    return data


def socks(path, host, port, mode, count, seconds):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.settimeout(seconds)
    start = time.time()
    s.connect(path)
    s.sendall(b"\x05\x01\x00")
    if recv_exactly(s, 2) != b"\x05\x00":
        sys.exit("SOCKS server refused the method")
    name = host.encode()
    s.sendall(b"\x05\x01\x00\x03" + bytes([len(name)]) + name + int(port).to_bytes(2, "big"))
    head = recv_exactly(s, 4)
    rest = {1: 4, 4: 16}.get(head[3])
    recv_exactly(s, rest + 2 if rest else recv_exactly(s, 1)[0] + 2)
    if head[1] != 0:
        print("socks-error 0x%02x after %.3f s" % (head[1], time.time() - start))
        sys.exit(2)
    connected = time.time()
    if mode == "echo":
        message = b"hello through the onion %d\n" % os.getpid()
        s.sendall(b"ECHO\n" + message)
        if recv_exactly(s, len(message)) != message:
            sys.exit("echo differs")
        print("echo-ok %.3f connect %.3f" % (time.time(), connected - start))
    else:
        s.sendall(b"SEND %d\n" % count)
        expected = pattern(65536 + 256)  # the pattern repeats every 256 bytes
        got = 0
        begin = time.time()
        while got < count:
            data = s.recv(min(65536, count - got))
            if not data:
                sys.exit("connection closed after %d of %d bytes" % (got, count))
            if data != expected[got % 256:got % 256 + len(data)]:
                sys.exit("bytes differ at %d" % got)
            got += len(data)
        took = time.time() - begin
        print("recv %d bytes in %.2f s: %.2f MB/s" % (count, took, count / took / 1e6))


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "keygen":
        keygen()
    elif command == "ready":
        ready(float(args[0]), int(args[1]), args[2:])
    elif command == "control":
        control(args[0], args[1:])
    elif command == "publish":
        publish(args[0], args[1], args[2], float(args[3]))
    elif command == "serve":
        serve(args[0], args[1])
    elif command == "socks":
        count = int(args[4]) if len(args) > 4 else 0
        socks(args[0], args[1], args[2], args[3], count, float(args[5]) if len(args) > 5 else 60)
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)

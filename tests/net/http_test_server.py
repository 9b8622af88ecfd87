"""Python's http.server for the network tests and benchmarks.

Serves the directory named on the command line from 127.0.0.1 at a port the system picks and
prints "port N" once it listens. Besides the files it answers two paths of its own:
/long-headers (many long header lines before a short body), /header-line/N (one header
line of N bytes, line end not counted, before the body "ok") and /cut/N/FILE (FILE's whole
length announced, its first N bytes sent, then the connection closed, as a lost one would be).
"""
import http.server
import os
import sys

BODY = b"long headers\n"


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/long-headers":
            self.send_response(200)
            for i in range(100):
                self.send_header("X-Filler-%03d" % i, "f" * 1000)
            self.send_header("X-Long", "l" * 12000)
            self.send_header("Content-Length", str(len(BODY)))
            self.end_headers()
            self.wfile.write(BODY)
        elif self.path.startswith("/header-line/"):
            length = int(self.path.rsplit("/", 1)[1])
            self.send_response(200)
            self.send_header("X-Line", "x" * (length - len("X-Line: ")))
            self.end_headers()
            self.wfile.write(b"ok")
        elif self.path.startswith("/cut/"):
            _, _, sent, name = self.path.split("/", 3)
            with open(os.path.join(self.directory, name), "rb") as file:
                data = file.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[:int(sent)])
            self.close_connection = True
        else:
            super().do_GET()

    def log_message(self, format, *args):
        pass  # nobody reads the server's standard error; a full pipe would stop it


def main():
    directory = sys.argv[1]
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), lambda *a, **k: Handler(*a, directory=directory, **k))
    print("port %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()

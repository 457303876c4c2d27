"""A TCP instrument on 127.0.0.1 that answers each command line with the
bytes given for it, exactly as given: for answers the simulator does not give."""
import socket
import threading


class ScriptedInstrument:
    def __init__(self, answers):
        self.answers = answers
        self.server = socket.create_server(("127.0.0.1", 0))
        self.server.settimeout(0.2)  # so that the thread sees the close
        self.port = self.server.getsockname()[1]
        self.address = "127.0.0.1:%d" % self.port
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            threading.Thread(target=self._answer, args=(connection,), daemon=True).start()

    def _answer(self, connection):
        pending = b""
        with connection:
            connection.settimeout(30)
            try:
                while chunk := connection.recv(4096):
                    pending += chunk
                    while b"\n" in pending:
                        line, pending = pending.split(b"\n", 1)
                        connection.sendall(self.answers.get(line.strip(), b""))
            except OSError:
                return

    def close(self):
        self.server.close()

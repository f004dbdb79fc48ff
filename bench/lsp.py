#!/usr/bin/env python3
"""Times maptool lsp from a change to its diagnostics, and measures its memory over edits.

    bench/lsp.py [build/maptool] [--edits N] [--runs N] [--big-runs N] [--no-big] [--keep DIR]

Talks the protocol to `maptool lsp` over a pipe, as an editor does. Two documents: a
256-entry table, and a ~512 MB DSC file of comment and empty lines with the same 256
entries spread through them, as bench/run.sh makes its big.dsc (generated into a
temporary folder, or into DIR with --keep, where a later run finds it again). Each edit turns the entry of byte 80 into
`0x80, ...` and back, one incremental change at a time, and the time counted runs from
sending the change to receiving the diagnostics of that version; every answer is checked
to hold the one error or none that the text has, so a figure is that of a real check.
Memory is the server's resident set (VmRSS, and its peak VmHWM, from /proc) after opening
the table and after each tenfold number of edits up to --edits (default 10,000).
Not a test: no test or CI step runs it.
"""
import argparse
import json
import os
import random
import statistics
import subprocess
import sys
import tempfile
import time


class Server:
    """maptool lsp on a pipe: Content-Length framed JSON-RPC both ways."""

    def __init__(self, maptool):
        self.process = subprocess.Popen([maptool, "lsp"], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=sys.stderr)
        self.next_id = 1

    def send(self, message):
        body = json.dumps(message, ensure_ascii=False).encode()
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def receive(self):
        length = None
        while True:
            header = self.process.stdout.readline()
            if not header:
                raise RuntimeError("the server closed its output")
            if header in (b"\r\n", b"\n"):
                break
            name, _, value = header.decode().partition(":")
            if name.strip().lower() == "content-length":
                length = int(value)
        message = json.loads(self.process.stdout.read(length))
        # A request from the server (configuration, registration, progress) gets an empty
        # answer, as from an editor that offers nothing more.
        if "id" in message and "method" in message:
            self.send({"jsonrpc": "2.0", "id": message["id"], "result": None})
        return message

    def request(self, method, params):
        request_id = self.next_id
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": request_id, "method": method, "params": params})
        while True:
            message = self.receive()
            if message.get("id") == request_id and "method" not in message:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result")

    def notify(self, method, params):
        self.send({"jsonrpc": "2.0", "method": method, "params": params})

    def diagnostics(self, uri, version):
        """Waits for the diagnostics of this version of the document (of the next ones
        where the server does not say which version they are for)."""
        while True:
            message = self.receive()
            if message.get("method") != "textDocument/publishDiagnostics":
                continue
            params = message["params"]
            if params["uri"] == uri and params.get("version", version) == version:
                return params["diagnostics"]

    def memory(self):
        """Resident set and its peak, in MB."""
        with open(f"/proc/{self.process.pid}/status") as status:
            fields = dict(line.split(":", 1) for line in status)
        return tuple(int(fields[name].split()[0]) / 1024 for name in ("VmRSS", "VmHWM"))

    def processor_time(self):
        """Seconds of processor time (user + system) the server has used so far."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def close(self):
        self.request("shutdown", None)
        self.notify("exit", None)
        return self.process.wait(timeout=60)


def table_text():
    return "".join(f"{i:02X}, {0x0400 + i:04X} // entry {i}\n" for i in range(256))


# Each entry of the big file is followed by this many comment and empty lines.
BIG_GAP = 46000


def make_big(path):
    """256 entries, each followed by the same BIG_GAP lines: comments of 5 to 94
    characters after '// ', one line in five empty."""
    rng = random.Random(1)
    comments = "".join("\n" if rng.random() < 0.2 else
                       "// " + "c" * (5 + int(rng.random() * 90)) + "\n"
                       for _ in range(BIG_GAP))
    with open(path, "w") as file:
        for i in range(256):
            file.write(f"{i:02X}, {0x0400 + i:04X} // entry {i}\n")
            file.write(comments)


def edit_times(server, uri, line, edits, version, memory_at=()):
    """Makes EDITS changes to the entry at LINE, each timed to its diagnostics; returns
    the times in seconds, the server's processor time for each, the version reached and
    the memory seen after each count in MEMORY_AT."""
    times, processor, memory = [], [], {}
    for n in range(1, edits + 1):
        broken = n % 2 == 1
        version += 1
        # "80, 0480" <-> "0x80, 0480": two characters inserted or deleted at the start.
        change = {"range": {"start": {"line": line, "character": 0},
                            "end": {"line": line, "character": 0 if broken else 2}},
                  "text": "0x" if broken else ""}
        used = server.processor_time()
        start = time.perf_counter()
        server.notify("textDocument/didChange", {
            "textDocument": {"uri": uri, "version": version}, "contentChanges": [change]})
        found = server.diagnostics(uri, version)
        times.append(time.perf_counter() - start)
        processor.append(server.processor_time() - used)
        errors = [d for d in found if d.get("severity", 1) == 1]
        if len(errors) != (1 if broken else 0) or (broken and errors[0]["range"]["start"]["line"] != line):
            raise RuntimeError(f"edit {n}: unexpected diagnostics {found}")
        if n in memory_at:
            memory[n] = server.memory()
    return times, processor, version, memory


def open_document(server, uri, text):
    start = time.perf_counter()
    server.notify("textDocument/didOpen", {"textDocument": {
        "uri": uri, "languageId": "dsc", "version": 1, "text": text}})
    found = server.diagnostics(uri, 1)
    return time.perf_counter() - start, found


def start(maptool):
    server = Server(maptool)
    result = server.request("initialize", {"processId": os.getpid(), "rootUri": None,
                                           "capabilities": {}})
    sync = result["capabilities"].get("textDocumentSync")
    kind = sync.get("change") if isinstance(sync, dict) else sync
    if kind != 2:
        sys.exit(f"lsp bench: the server takes no incremental changes (textDocumentSync {sync})")
    server.notify("initialized", {})
    return server


def milliseconds(times):
    return (f"median {statistics.median(times) * 1000:.2f} ms, min {min(times) * 1000:.2f},"
            f" max {max(times) * 1000:.2f} ({len(times)} changes)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("maptool", nargs="?", default="build/maptool")
    parser.add_argument("--edits", type=int, default=10000)
    parser.add_argument("--runs", type=int, default=200, help="timed changes, table")
    parser.add_argument("--big-runs", type=int, default=10, help="timed changes, big file")
    parser.add_argument("--no-big", action="store_true", help="leave the big file out")
    parser.add_argument("--keep", help="generate the big file into this folder, keep it")
    arguments = parser.parse_args()
    maptool = os.path.realpath(arguments.maptool)

    with open("/proc/loadavg") as load:
        print(f"load average before: {' '.join(load.read().split()[:3])}, {os.cpu_count()} cores")

    server = start(maptool)
    uri = "file:///bench/table.dsc"
    opened, _ = open_document(server, uri, table_text())
    print(f"256-entry table: open to diagnostics {opened * 1000:.2f} ms")
    rss, peak = server.memory()
    print(f"  memory after opening: {rss:.1f} MB (peak {peak:.1f} MB)")
    times, _, version, _ = edit_times(server, uri, 0x80, arguments.runs, 1)
    print(f"  change to diagnostics: {milliseconds(times)}")
    counts = [n for n in (10, 100, 1000, 10000, 100000) if n <= arguments.edits]
    if arguments.edits not in counts:
        counts.append(arguments.edits)
    _, processor, version, memory = edit_times(server, uri, 0x80, arguments.edits, version,
                                               set(counts))
    # A change takes less than the clock's tick of processor time: the mean over all.
    print(f"  processor time per change: {sum(processor) / len(processor) * 1000:.2f} ms"
          f" (mean of {len(processor)})")
    for n in counts:
        print(f"  memory after {n} more edits: {memory[n][0]:.1f} MB"
              f" (peak {memory[n][1]:.1f} MB)")
    print(f"  exit status after shutdown and exit: {server.close()}")

    if arguments.no_big:
        return
    folder = arguments.keep or tempfile.mkdtemp()
    path = os.path.join(folder, "big.dsc")
    if not os.path.exists(path):
        make_big(path)
    line = 0x80 * (BIG_GAP + 1)  # the entry of byte 80
    with open(path) as file:
        text = file.read()
    print(f"big file: {len(text.encode()) / 1e6:.0f} MB, {text.count(chr(10))} lines")
    server = start(maptool)
    uri = "file:///bench/big.dsc"
    opened, _ = open_document(server, uri, text)
    del text
    print(f"  open to diagnostics {opened:.2f} s")
    rss, peak = server.memory()
    print(f"  memory after opening: {rss:.1f} MB (peak {peak:.1f} MB)")
    times, processor, _, _ = edit_times(server, uri, line, arguments.big_runs, 1)
    rss, peak = server.memory()
    # Odd changes make the fault, whose diagnostic is placed in the text; even ones mend it.
    for name, every in (("making the fault", slice(0, None, 2)),
                        ("mending it", slice(1, None, 2))):
        print(f"  change to diagnostics, {name}: {milliseconds(times[every])}")
        print(f"  processor time, {name}: {milliseconds(processor[every])}")
    print(f"  memory after the changes: {rss:.1f} MB (peak {peak:.1f} MB)")
    print(f"  exit status after shutdown and exit: {server.close()}")
    if not arguments.keep:
        os.remove(path)
        os.rmdir(folder)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""kemro-serve over HTTP on loopback, run by CTest.

Covers what the API test cannot see without a socket: the page and its
Content-Security-Policy, the HTTP library's own refusals (413, 414, 404, 405)
as JSON errors, the time limit (503), a bounded load test (2,000 requests from
16 concurrent clients: every answer equal to kemro-grid's or kemro-observed's
output for the same options, none dropped, memory flat), the line a
non-loopback address prints, and a clean stop on SIGINT and SIGTERM with a
computation in progress. Prints the measured times, throughput and peak
memory.

    python3 tests/serve_http_test.py KEMRO_SERVE KEMRO_GRID KEMRO_OBSERVED
"""
import http.client
import os
import signal
import statistics
import subprocess
import sys
import threading
import time

SERVE, GRID, OBSERVED = sys.argv[1:4]
CLIENTS = 16
REQUESTS = 2000
# Growth of the resident memory from after the warm-up to after the load
# beyond which it does not count as flat.
FLAT_MEMORY_BYTES = 32 * 1024 * 1024

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)


def start(*args):
    """Starts kemro-serve on a free loopback port; returns the process, its
    port and the lines it wrote to standard error before serving."""
    proc = subprocess.Popen([SERVE, "--port", "0", *args], stderr=subprocess.PIPE, text=True)
    lines = []
    while True:
        line = proc.stderr.readline()
        if not line:
            raise SystemExit("kemro-serve ended before serving: " + "".join(lines))
        lines.append(line)
        if "serving http://" in line:
            port = int(line.split("serving http://")[1].split("/")[0].rsplit(":", 1)[1])
            return proc, port, lines


def request(port, path, method="GET", body=None, headers=None, timeout=60):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        conn.request(method, path, body=body, headers=headers or {})
        response = conn.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        conn.close()


def run_tool(program, args):
    return subprocess.run([program, *args], check=True, capture_output=True).stdout


def memory(pid):
    """VmRSS and VmHWM of a process, in bytes."""
    values = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0]) * 1024
    return values["VmRSS"], values["VmHWM"]


def stop(proc, sig, expected_status, what):
    proc.send_signal(sig)
    try:
        status = proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        proc.kill()
        check(False, f"{what}: still running 15 s after the signal")
        return
    rest = proc.stderr.read()
    check(status == expected_status, f"{what}: exit status {status}, expected {expected_status}")
    check("kemro-serve: stopped" in rest, f"{what}: no 'stopped' line: {rest!r}")


# The same questions asked of the tools and of the API.
CASES = [
    ("/api/summary?applicants=1000&majority=800&hires=100&d=0.5",
     GRID, ["--applicants=1000", "--majority=800", "--hires=100", "--d=0.5", "--json"]),
    ("/api/summary?applicants=100:300:100&minority-share=0.3&selection-ratio=0.2&d=0,0.5&csv",
     GRID, ["--applicants=100:300:100", "--minority-share=0.3", "--selection-ratio=0.2",
            "--d=0,0.5", "--csv"]),
    ("/api/distribution?applicants=40&majority=30&hires=8&d=0.25",
     GRID, ["--applicants=40", "--majority=30", "--hires=8", "--d=0.25", "--json",
            "--distribution"]),
    ("/api/observed?applicants=62&majority=43&hires=31&minority-hires=6",
     OBSERVED, ["--applicants=62", "--majority=43", "--hires=31", "--minority-hires=6",
                "--json"]),
]
GRID_240 = ("/api/summary?applicants=100:1000:100&minority-share=0.2,0.3,0.4"
            "&selection-ratio=0.1,0.2&d=0:0.6:0.2")


def page_and_refusals(port):
    status, headers, body = request(port, "/")
    check(status == 200 and b"Check a decision" in body, f"GET /: {status}")
    csp = headers.get("Content-Security-Policy", "")
    check("default-src 'none'" in csp and "script-src 'self'" in csp, f"CSP of /: {csp!r}")
    check(headers.get("X-Content-Type-Options") == "nosniff", "nosniff missing")
    for path, kind in (("/app.js", "text/javascript"), ("/app.css", "text/css")):
        status, headers, _ = request(port, path)
        check(status == 200 and headers["Content-Type"].startswith(kind), f"GET {path}: {status}")
    refusals = [
        ("GET", "/api/summary?applicants=x", None, 400, b"--applicants: 'x' is not a whole number"),
        ("GET", "/api/summary?" + "a" * 9000, None, 414, b"longer than 8 KiB"),
        ("POST", "/api/observed?group-column=g&minority=B&hired-column=h", b"g,h\n" * 17000, 413,
         b"larger than 64 KiB"),
        ("GET", "/api/nothing", None, 404, b"there is no such page"),
        ("GET", "/etc/passwd", None, 404, b"there is no such page"),
        ("GET", "/../../etc/passwd", None, 404, b""),
        ("POST", "/api/summary?applicants=1", b"x", 405, b"only /api/observed takes a POST"),
    ]
    for method, path, body, expected, phrase in refusals:
        try:
            status, headers, answer = request(port, path, method, body)
        except (ConnectionError, http.client.HTTPException) as error:
            check(False, f"{method} {path[:40]}: {error!r}")
            continue
        check(status == expected, f"{method} {path[:40]}: status {status}, expected {expected}")
        check(phrase in answer, f"{method} {path[:40]}: {answer[:200]!r}")
        check("Content-Security-Policy" in headers, f"{method} {path[:40]}: no CSP")


def timings(port):
    single = []
    for _ in range(50):
        start_time = time.perf_counter()
        status, _, _ = request(port, CASES[0][0])
        single.append(time.perf_counter() - start_time)
        check(status == 200, "single scenario: status %d" % status)
    grid = []
    for _ in range(5):
        start_time = time.perf_counter()
        status, _, body = request(port, GRID_240)
        grid.append(time.perf_counter() - start_time)
        check(status == 200 and body.count(b'"scenario"') == 240, "240-scenario grid")
    print(f"MEASURED one scenario N=1000: median {1000 * statistics.median(single):.2f} ms "
          f"(min {1000 * min(single):.2f}, max {1000 * max(single):.2f}) over 50 requests")
    print(f"MEASURED 240-scenario grid: median {1000 * statistics.median(grid):.1f} ms over 5")
    # Loose bounds: the goals (20 ms, 1 s) are measured on a quiet machine.
    check(statistics.median(single) < 0.2, "one scenario took over 200 ms")
    check(statistics.median(grid) < 5.0, "the 240-scenario grid took over 5 s")


def load(proc, port):
    expected = {path: run_tool(program, args) for path, program, args in CASES}
    for path in expected:  # warm-up: every worker makes its work areas
        request(port, path)
    warm = [threading.Thread(target=request, args=(port, CASES[0][0])) for _ in range(CLIENTS)]
    for t in warm:
        t.start()
    for t in warm:
        t.join()
    rss_before, _ = memory(proc.pid)
    results = [None] * REQUESTS
    next_index = [0]
    lock = threading.Lock()
    peak = [rss_before]

    def client():
        while True:
            with lock:
                i = next_index[0]
                next_index[0] += 1
            if i >= REQUESTS:
                return
            path = CASES[i % len(CASES)][0]
            try:
                status, _, body = request(port, path)
                results[i] = status == 200 and body == expected[path]
            except (OSError, http.client.HTTPException):
                results[i] = False
            if i % 100 == 0:
                peak[0] = max(peak[0], memory(proc.pid)[0])

    started = time.perf_counter()
    threads = [threading.Thread(target=client) for _ in range(CLIENTS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.perf_counter() - started
    rss_after, hwm = memory(proc.pid)
    answered = sum(r is not None for r in results)
    correct = sum(r is True for r in results)
    print(f"MEASURED load: {REQUESTS} requests from {CLIENTS} clients in {elapsed:.2f} s, "
          f"{REQUESTS / elapsed:.0f} requests/s; {correct} correct")
    print(f"MEASURED memory: resident {rss_before / 2**20:.1f} MiB after warm-up, "
          f"{peak[0] / 2**20:.1f} MiB sampled peak under load, {rss_after / 2**20:.1f} MiB after, "
          f"high-water mark {hwm / 2**20:.1f} MiB")
    check(answered == REQUESTS and correct == REQUESTS,
          f"load: {REQUESTS - correct} of {REQUESTS} answers missing or wrong")
    # Under AddressSanitizer freed memory stays in quarantine: no flatness to check.
    if not os.environ.get("KEMRO_SANITIZED"):
        check(rss_after - rss_before < FLAT_MEMORY_BYTES,
              f"load: resident memory grew by {(rss_after - rss_before) / 2**20:.1f} MiB")


def stop_during_computation():
    """SIGTERM while a long computation runs: it is stopped and answered 503."""
    proc, port, _ = start("--time-limit", "600")
    answer = {}

    def long_request():
        answer["status"], _, answer["body"] = request(
            port, "/api/summary?applicants=2000000:3000000:1000&majority=1000000&hires=50000&d=0")

    t = threading.Thread(target=long_request)
    t.start()
    time.sleep(0.5)
    stop(proc, signal.SIGTERM, 143, "SIGTERM during a computation")
    t.join(timeout=15)
    check(answer.get("status") == 503, f"the running request got {answer.get('status')}")


def main():
    proc, port, _ = start("--workers", "2")
    try:
        page_and_refusals(port)
        timings(port)
        load(proc, port)
    finally:
        stop(proc, signal.SIGINT, 130, "SIGINT")

    proc, port, _ = start("--time-limit", "0.05")
    status, _, body = request(port, "/api/summary?applicants=100:10000:10&majority=50&hires=20&d=0")
    check(status == 503 and b"longer than the limit of 0.05 s" in body, f"time limit: {status}")
    stop(proc, signal.SIGTERM, 143, "SIGTERM")

    stop_during_computation()

    proc, port, lines = start("--host", "0.0.0.0")
    check(any("reachable from the network" in line for line in lines),
          f"no warning for 0.0.0.0: {lines!r}")
    stop(proc, signal.SIGINT, 130, "SIGINT on 0.0.0.0")

    proc, port, lines = start()
    check(not any("reachable" in line for line in lines), "a warning on loopback")
    stop(proc, signal.SIGINT, 130, "SIGINT on loopback")

    print("PASS" if not failures else f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

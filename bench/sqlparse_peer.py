#!/usr/bin/env python3
"""The peer of select_statements_bench: sqlparse.parse on the same statements.

Arguments are NAME=FILE pairs; each file holds one statement in GBK. Prints
one line "NAME NANOSECONDS" per pair, the mean time of one parse. Exits 3 when
sqlparse cannot be imported, so that the caller can say the peer is missing.
"""
import sys
import time

try:
    import sqlparse
except ImportError:
    print("sqlparse missing", file=sys.stderr)
    sys.exit(3)

# Long enough for a steady mean, short enough to keep the whole bench brief.
MIN_SECONDS = 0.5
MIN_ROUNDS = 3


def per_statement_ns(statement):
    sqlparse.parse(statement)  # warm-up: the lexer compiles its patterns once
    rounds = 0
    started = time.perf_counter_ns()
    elapsed = 0
    while rounds < MIN_ROUNDS or elapsed < MIN_SECONDS * 1e9:
        sqlparse.parse(statement)
        rounds += 1
        elapsed = time.perf_counter_ns() - started
    return elapsed / rounds


def main(pairs):
    for pair in pairs:
        name, _, path = pair.partition("=")
        with open(path, "rb") as f:
            statement = f.read().decode("gbk")
        print(f"{name} {per_statement_ns(statement):.1f}", flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])

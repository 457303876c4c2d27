#!/usr/bin/env python3
"""Ask one instrument who it is, through the quvxvr package.

    identify.py [DRIVER [ADDRESS]]      default: TCP/IP 127.0.0.1:5025
"""
import sys

import quvxvr


def main() -> int:
    driver = sys.argv[1] if len(sys.argv) > 1 else "TCP/IP"
    address = sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1:5025"
    try:
        with quvxvr.open(driver, address, timeout_ms=2000) as dev:
            print(dev.query("*IDN?"))
    except (quvxvr.Error, quvxvr.LibraryNotFound) as e:
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

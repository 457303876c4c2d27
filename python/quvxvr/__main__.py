"""python3 -m quvxvr: where the library is, and where the command line is."""
import argparse
import sys

HELP = """\
quvxvr is the Python package of the QUVXVR library (import quvxvr).
For instruments from the command line use the xvr tool:

  xvr drivers
  xvr query TCP/IP 127.0.0.1:5025 '*IDN?'
  xvr --help
"""


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m quvxvr", description=HELP,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--library", action="store_true",
                        help="load the library and print which file was loaded")
    parser.add_argument("--drivers", action="store_true", help="list the library's drivers")
    args = parser.parse_args(argv)
    if not (args.library or args.drivers):
        parser.print_help()
        return 0
    import quvxvr
    try:
        if args.library:
            print(quvxvr.library().path)
        if args.drivers:
            for driver in quvxvr.drivers():
                print("%-8s %s" % (driver.name, driver.param_name))
    except quvxvr.Error as e:  # LibraryNotFound too
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Runs a test program against a mock udisks2 on a private bus.

    udisks_mock.py --image IMAGE -- PROGRAM [ARGS...]

Starts a private dbus-daemon and, on it, python3-dbusmock serving
org.freedesktop.UDisks2 with three block devices:

  /dev/sdz  Block.OpenDevice("r") hands out a read-only descriptor of IMAGE
            (any other mode is refused, as a read-only caller must never ask)
  /dev/sdy  the user dismisses the password prompt: NotAuthorizedDismissed
  /dev/sdx  a daemon older than 2.7.3: only Block.OpenForBackup

and Manager.ResolveDevice for the three names. PROGRAM runs with
DORVAK_UDISKS_BUS set to the bus address and DORVAK_UDISKS_IMAGE to IMAGE;
its exit status is ours. Exit 77 (skip) when dbus-daemon or dbusmock is
missing, unless CI is set.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

SKIP = 77
ROOT = "/org/freedesktop/UDisks2"
BLOCK = "org.freedesktop.UDisks2.Block"


def unavailable(reason):
    print("udisks mock unavailable: " + reason)
    return 1 if os.environ.get("CI", "") not in ("", "0", "false") else SKIP


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--image", required=True)
    ap.add_argument("program", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    try:
        import dbus
        import dbusmock  # noqa: F401 (the mock runs it as a module)
    except ImportError as e:
        return unavailable("%s (Debian: python3-dbusmock)" % e)
    if not shutil.which("dbus-daemon"):
        return unavailable("dbus-daemon is not installed")
    if not os.path.exists(args.image):
        return unavailable(args.image + " is missing (the unpack_test_images test makes it)")

    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, text=True)
    mock = None
    try:
        address = daemon.stdout.readline().strip()
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, DBUS_SYSTEM_BUS_ADDRESS=address)
        mock = subprocess.Popen([sys.executable, "-m", "dbusmock", "org.freedesktop.UDisks2",
                                 ROOT + "/Manager", "org.freedesktop.UDisks2.Manager"], env=env)
        bus = dbus.bus.BusConnection(address)
        for _ in range(100):
            if bus.name_has_owner("org.freedesktop.UDisks2"):
                break
            time.sleep(0.1)
        else:
            return unavailable("the mock did not start")
        manager = dbus.Interface(bus.get_object("org.freedesktop.UDisks2", ROOT + "/Manager"),
                                 "org.freedesktop.DBus.Mock")
        names = {"/dev/sdz": "sdz", "/dev/sdy": "sdy", "/dev/sdx": "sdx"}
        manager.AddMethod("org.freedesktop.UDisks2.Manager", "ResolveDevice", "a{sv}a{sv}", "ao",
                          "names = %r\n"
                          "name = names.get(str(args[0].get('path', '')))\n"
                          "ret = [dbus.ObjectPath('%s/block_devices/' + name)] if name else []"
                          % (names, ROOT))
        image_fd = ("import os\n"
                    "ret = dbus.types.UnixFd(os.open(%r, os.O_RDONLY))" % args.image)
        manager.AddObject(ROOT + "/block_devices/sdz", BLOCK, {}, [
            ("OpenDevice", "sa{sv}", "h",
             "if args[0] != 'r':\n"
             "    raise dbus.exceptions.DBusException('mode %s refused' % args[0],\n"
             "        name='org.freedesktop.UDisks2.Error.Failed')\n" + image_fd)])
        manager.AddObject(ROOT + "/block_devices/sdy", BLOCK, {}, [
            ("OpenDevice", "sa{sv}", "h",
             "raise dbus.exceptions.DBusException('Not authorized to perform operation',\n"
             "    name='org.freedesktop.UDisks2.Error.NotAuthorizedDismissed')")])
        # The bus answers an unknown method with UnknownMethod; dbusmock would
        # answer a KeyError for a method its interface lacks, so say it here.
        manager.AddObject(ROOT + "/block_devices/sdx", BLOCK, {}, [
            ("OpenForBackup", "a{sv}", "h", image_fd),
            ("OpenDevice", "sa{sv}", "h",
             "raise dbus.exceptions.DBusException('No such method OpenDevice',\n"
             "    name='org.freedesktop.DBus.Error.UnknownMethod')")])
        run_env = dict(os.environ, DORVAK_UDISKS_BUS=address, DORVAK_UDISKS_IMAGE=args.image)
        return subprocess.run(program, env=run_env).returncode
    finally:
        if mock:
            mock.terminate()
            mock.wait()
        daemon.terminate()
        daemon.wait()


if __name__ == "__main__":
    sys.exit(main())

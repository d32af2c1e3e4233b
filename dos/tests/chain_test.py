"""The whole chain: the Windows job under Wine writes the ticket, the saved
menu and the boot files into drive C of a prefix; they go onto a disk image
as drive C; BF and HF run on it under DOSBox; the normal menu is back.

Needs the win64 build and a display (./test starts Xvfb before the native
tests); skipped without them.
"""

import os
import pathlib
import random
import subprocess
import tempfile
import unittest

import dosbox_harness as harness

ROOT = pathlib.Path(__file__).resolve().parents[2]
WIN64 = pathlib.Path(os.environ.get("ORVANE_WIN64_BUILD_DIR", ROOT / "build" / "win64"))
TESTS = WIN64 / "orvane_window_tests.exe"
USER_MENU = (b"[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS"
             b"\r\n[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" "
             b"/noexecute=optin\r\n")
USER_BATCH = b"@ECHO OFF\r\nPROMPT $P$G\r\n"
BOOT_FILES = ("boot.ini", "BOOT.ORV", "ORVANE.JOB", "AUTOEXEC.BAT", "AUTOEXEC.ORV")


def windows_job(case, out):
    """Runs HandOverChain.<case> under Wine in a prefix of its own."""
    env = dict(os.environ, ORVANE_WINE_PREFIX="per-test", ORVANE_CHAIN_OUT="Z:" +
               str(out).replace("/", "\\"))
    run = subprocess.run([str(ROOT / "tools" / "wine-exec"), str(TESTS),
                          f"--gtest_filter=HandOverChain.{case}"], env=env, capture_output=True,
                         text=True, timeout=180)
    if run.returncode != 0 or "[  PASSED  ] 1 test" not in run.stdout:
        raise AssertionError(f"HandOverChain.{case} failed:\n{run.stdout[-3000:]}")
    return {name: (out / name).read_bytes() for name in BOOT_FILES}


def ticket_fields(ticket):
    fields = {}
    for line in ticket.decode("ascii").split("\r\n"):
        key, sep, value = line.partition("=")
        if sep:
            fields[key] = value
    return fields


@unittest.skipUnless(TESTS.is_file() and os.environ.get("DISPLAY"),
                     "needs the win64 build and a display")
class WindowsThenDos(unittest.TestCase):
    def assertBootFilesBack(self, c):
        self.assertEqual(harness.read_file(c, "/BOOT.INI"), USER_MENU)
        self.assertEqual(harness.read_file(c, "/AUTOEXEC.BAT"), USER_BATCH)
        names = harness.list_files(c)
        for name in ("ORVANE.JOB", "BOOT.ORV", "AUTOEXEC.ORV"):
            self.assertNotIn(name, names)

    def test_backup_and_restore_handed_over_by_the_windows_job(self):
        with tempfile.TemporaryDirectory(prefix="orvane-chain-") as temp:
            folder = pathlib.Path(temp)
            out = folder / "out"
            out.mkdir()
            files = windows_job("Backup", out)
            self.assertEqual(files["BOOT.ORV"], USER_MENU)
            self.assertEqual(files["AUTOEXEC.ORV"], USER_BATCH)
            fields = ticket_fields(files["ORVANE.JOB"])
            serial = int(fields["Serial"].replace("-", ""), 16)
            command = files["AUTOEXEC.BAT"].decode("ascii").split("\r\n")[-1]
            self.assertEqual(command, "BF " + fields["Image"])

            # The image disk carries the volume serial Wine reported for D:;
            # DOS calls it E: here.
            c = harness.make_fat_disk(folder / "c.img", 65, serial=0x1234ABCD)
            e = harness.make_fat_disk(folder / "e.img", 100, heads=8, letter="E", serial=serial,
                                      bios_index=1)
            harness.mtools("mmd", "-i", e.mtools_target(), "::/BACKUP")
            short = fields["ShortPath"].replace("\\", "/")
            staging = folder / "staging"
            staging.write_bytes(b"")
            harness.copy_in(e, staging, short)
            data = random.Random(7).randbytes(400_000)
            staging.write_bytes(data)
            harness.copy_in(c, staging, "/DATA.BIN")
            for name in BOOT_FILES:
                staging.write_bytes(files[name])
                harness.copy_in(c, staging, "/" + name.upper())

            backup, = harness.run_dosbox([c, e], [command],
                                         environment={"ORVANE_UNATTENDED": "1"},
                                         programs=[harness.program("BF.COM")], host_letter="F")
            self.assertEqual(backup.exit_code, 0, backup.output)
            self.assertBootFilesBack(c)
            image = harness.read_file(e, short)
            self.assertGreater(len(image), len(data))

            # Back in "Windows": the restore job on that image.
            (out / "SYS.GHO").write_bytes(image)
            files = windows_job("Restore", out)
            fields = ticket_fields(files["ORVANE.JOB"])
            command = files["AUTOEXEC.BAT"].decode("ascii").split("\r\n")[-1]
            self.assertEqual(command, "HF " + fields["Image"])
            # Drive C as the restore finds it: other data, and the boot files
            # the restore job wrote into the clusters the change freed.
            staging.write_bytes(b"changed since the backup")
            harness.copy_in(c, staging, "/DATA.BIN")
            for name in BOOT_FILES:
                staging.write_bytes(files[name])
                harness.copy_in(c, staging, "/" + name.upper())

            restore, = harness.run_dosbox([c, e], [command],
                                          environment={"ORVANE_UNATTENDED": "1"},
                                          programs=[harness.program("HF.COM")], host_letter="F")
            self.assertEqual(restore.exit_code, 0, restore.output)
            self.assertEqual(harness.read_file(c, "/DATA.BIN"), data)
            self.assertBootFilesBack(c)
            for disk in (c, e):
                clean, report = harness.fsck(disk)
                self.assertTrue(clean, report)


if __name__ == "__main__":
    unittest.main()

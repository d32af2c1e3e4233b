"""The whole chain: the Windows job under Wine writes the ticket, the saved
menu and batch file and the boot files into drive C of a prefix; they go
onto a disk image as drive C; BF and HF run on it, under DOSBox and on the
QEMU lab's PC (SeaBIOS and FreeDOS, started by drive C's AUTOEXEC.BAT and
ending in their own restarts); the user's menu and batch file are back.

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
import qemu_harness as lab

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


@unittest.skipUnless(TESTS.is_file() and os.environ.get("DISPLAY"),
                     "needs the win64 build and a display")
class WindowsThenQemu(unittest.TestCase):
    def assertBootFilesBack(self, c):
        self.assertEqual(lab.read(c, "/BOOT.INI"), USER_MENU)
        self.assertEqual(lab.read(c, "/AUTOEXEC.BAT"), USER_BATCH)
        names = [name.upper() for name in lab.names(c)]
        for name in ("ORVANE.JOB", "BOOT.ORV", "AUTOEXEC.ORV"):
            self.assertNotIn(name, names)

    def put_boot_files(self, c, files):
        for name in BOOT_FILES:
            lab.put(c, "/" + name.upper(), files[name])

    def test_backup_and_restore_on_a_real_bios_and_dos(self):
        with tempfile.TemporaryDirectory(prefix="orvane-chain-") as temp:
            folder = pathlib.Path(temp)
            out = folder / "out"
            out.mkdir()
            screens = lab.LAB_DIR / "WindowsThenQemu"
            files = windows_job("Backup", out)
            fields = ticket_fields(files["ORVANE.JOB"])
            serial = int(fields["Serial"].replace("-", ""), 16)
            # Drive C with the programs where the job's batch file looks for
            # them; the image drive with the serial Wine reported for D: and
            # the empty image file the job made.
            c = lab.make_disk(folder / "c.img", 2 << 30, 32, label="DRIVE C")
            d = lab.make_disk(folder / "d.img", 4 << 30, 32, start=2048, serial=serial,
                              label="IMAGES")
            batch = files["AUTOEXEC.BAT"].decode("ascii").split("\r\n")
            program_folder = next(line[5:] for line in batch if line.startswith("Path="))
            self.assertEqual(program_folder[:3], "C:\\")
            lab.make_folder(c, program_folder[2:].replace("\\", "/"))
            for name in ("BF.COM", "HF.COM"):
                lab.put(c, program_folder[2:].replace("\\", "/") + "/" + name,
                        lab.program(name).read_bytes())
            data = random.Random(8).randbytes(400_000)
            lab.put(c, "/DATA.BIN", data)
            short = fields["ShortPath"].replace("\\", "/")
            lab.make_folder(d, short.rsplit("/", 1)[0])
            lab.put(d, short, b"")
            self.put_boot_files(c, files)

            backup = lab.run(screens, [c, d], name="backup", timeout=240)
            self.assertEqual(backup.how, "restarted", backup)
            self.assertTrue(lab.shows(backup.screen, "Backup complete and verified"), backup)
            self.assertBootFilesBack(c)
            image = lab.read(d, short)
            self.assertGreater(len(image), len(data))

            # Back in "Windows": the restore job on that image, over a drive
            # C changed since the backup.
            (out / "SYS.GHO").write_bytes(image)
            files = windows_job("Restore", out)
            lab.put(c, "/DATA.BIN", b"changed since the backup")
            lab.put(c, "/LATER.TXT", b"made after the backup")
            self.put_boot_files(c, files)
            restore = lab.run(screens, [c, d], name="restore", timeout=240)
            self.assertEqual(restore.how, "restarted", restore)
            self.assertTrue(lab.shows(restore.screen, "Restore complete"), restore)
            self.assertEqual(lab.read(c, "/DATA.BIN"), data)
            self.assertIsNone(lab.read(c, "/LATER.TXT"))
            self.assertBootFilesBack(c)
            for disk in (c, d):
                clean, report = lab.fsck(disk)
                self.assertTrue(clean, report)


if __name__ == "__main__":
    unittest.main()

"""BF.COM and HF.COM meeting faults on a real BIOS and DOS kernel (QEMU,
SeaBIOS, FreeDOS): an image in parts and a part gone, a write error on
the image's drive during a backup, errors on drive C and in the image
while HF writes drive C, and a power cut while BF writes.

Drive C is a 2 GB FAT32 drive (4 KB clusters, 4 MB of FATs) with 1.5 MB
of files, so that its image (5.5 MB) comes in six parts of 1,000,000
bytes; the image drive is qemu_test's 40 GB FAT32 disk. One backup for
the class; each test works on its own copies of the disks, from before
or after that backup.

Screens of every run stay in build/dos-lab/<class>/<test>/<run>/.
"""

import pathlib
import random
import tempfile
import unittest

import qemu_harness as lab
import qemu_test
from jobs_test import USER_BATCH, USER_MENU
from qemu_test import IMAGE, JOB_FILES, attributes, comparable, hand_over, make_disks

PART_SIZE = 300_000
IMAGE_DOS_PATH = "D:\\BACKUP\\2026-1~1.GHO"
# The image's parts as DOS names them on drive D (the first is IMAGE).
PARTS_FOLDER = "/Backup"
PART_STEM = "2026-1~1"


def parts(d):
    """The image's parts on drive D, in order: their bytes."""
    found = [lab.read(d, IMAGE)]
    while True:
        data = lab.read(d, f"{PARTS_FOLDER}/{PART_STEM}.G{len(found):02d}")
        if data is None:
            return found
        found.append(data)


class FaultsOnFat32(unittest.TestCase):
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="orvane-lab-")
        cls.folder = pathlib.Path(cls.temp.name)
        cls.screens = lab.LAB_DIR / cls.__name__
        cls.random = random.Random(3)
        c, d = make_disks(cls.folder, 2 << 30, 32, lab.FAT32_LBA)
        lab.make_folder(c, "/WINDOWS")
        lab.make_folder(c, "/WINDOWS/system32")
        for name, size in [("/WINDOWS/system32/shell32.dll", 800_000),
                           ("/WINDOWS/win.ini", 900), ("/ntldr", 250_000),
                           ("/Documents and Settings.doc", 500_000), ("/ODD.BIN", 513)]:
            lab.put(c, name, cls.random.randbytes(size))
        # Drive C as the user left it, and as BF is to leave it.
        cls.expected = lab.listing(c)
        hand_over(c, "BF")
        # The disks as the Windows side left them for BF.
        before = cls.folder / "before"
        before.mkdir()
        cls.c_before, cls.d_before = (lab.copy_disk(disk, before / disk.path.name)
                                      for disk in (c, d))
        cls.backup = lab.run(cls.screens, [c, d], name="backup", timeout=150,
                             environment={"ORVANE_PART_SIZE": str(PART_SIZE)})
        cls.c, cls.d = c, d
        cls.after_backup = lab.listing(c)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    # Helpers.

    def copies(self, disks):
        folder = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="orvane-lab-")))
        return [lab.copy_disk(disk, folder / disk.path.name) for disk in disks]

    def run_folder(self):
        return self.screens / self._testMethodName

    def assertShows(self, outcome_or_screen, *lines):
        screen = getattr(outcome_or_screen, "screen", outcome_or_screen)
        for line in lines:
            self.assertTrue(lab.shows(screen, line), f"{line!r} not on:\n{outcome_or_screen}")

    def assertClean(self, *disks):
        for disk in disks:
            clean, report = lab.fsck(disk)
            self.assertTrue(clean, f"{disk.path.name}:\n{report}")

    def assertBackAsTheUserLeftIt(self, c, outcome):
        """Drive C after a failed backup: the user's menu and batch file,
        no job files, every file as before the hand-over."""
        self.assertEqual(lab.read(c, "/BOOT.INI"), USER_MENU, outcome)
        self.assertEqual(attributes(c, "/BOOT.INI"), "ASHR")
        self.assertEqual(lab.read(c, "/AUTOEXEC.BAT"), USER_BATCH, outcome)
        self.assertFalse(set(JOB_FILES) & set(lab.names(c)), outcome)
        self.assertEqual(comparable(lab.listing(c)), comparable(self.expected), outcome)

    def assertRestored(self, c, outcome):
        self.assertEqual(outcome.how, "restarted", outcome)
        self.assertShows(outcome, "Restore complete", "Restarting the computer...")
        self.assertEqual(lab.listing(c), self.after_backup, outcome)

    def typed_hf(self, c, d, name):
        """HF typed at a boot floppy's prompt, without a ticket; it fails,
        waits for a key and restarts. The Outcome."""
        with lab.Machine(self.run_folder(), [c, d], name=name, timeout=120,
                         commands=[f"A:\\HF.COM {IMAGE_DOS_PATH}"],
                         floppy_files=[lab.program("HF.COM")]) as machine:
            machine.wait_for(r"Press a key to restart the computer")
            machine.send_key("ret")
            return machine.wait_end()

    @staticmethod
    def damage(c, data):
        lab.overwrite(c, "/WINDOWS/system32/shell32.dll", data(300_000))
        lab.put(c, "/WINDOWS/win.ini", b"changed")
        lab.delete(c, "/ntldr")
        lab.put(c, "/NEW.TXT", b"made after the backup")

    # An image in parts.

    def test_backup_in_parts_verifies_and_restores(self):
        outcome = self.backup
        self.assertEqual(outcome.how, "restarted", outcome)
        self.assertShows(outcome, "Backup complete and verified", "Restarting the computer...")
        image = parts(self.d)
        sizes = [len(part) for part in image]
        self.assertGreaterEqual(len(sizes), 4, sizes)
        self.assertEqual(sizes[:-1], [PART_SIZE] * (len(sizes) - 1))
        self.assertTrue(0 < sizes[-1] <= PART_SIZE, sizes)
        # orvane-image finds the parts beside the first: IMAGE.G01, ...
        folder = self.folder / "parts"
        folder.mkdir()
        for index, data in enumerate(image):
            (folder / (f"IMAGE.G{index:02d}" if index else "IMAGE.GHO")).write_bytes(data)
        checked = qemu_test.orvane_image(folder / "IMAGE.GHO")
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertEqual(lab.read(self.c, "/BOOT.INI"), USER_MENU)
        self.assertEqual(comparable(self.after_backup), comparable(self.expected))

        c, d = self.copies([self.c, self.d])
        self.damage(c, self.random.randbytes)
        hand_over(c, "HF")
        restore = lab.run(self.run_folder(), [c, d], name="restore", timeout=120)
        self.assertRestored(c, restore)
        self.assertClean(c, d)

    def test_a_missing_part_is_refused_with_drive_c_unchanged(self):
        c, d = self.copies([self.c, self.d])
        lab.delete(d, f"{PARTS_FOLDER}/{PART_STEM}.G02")
        sectors = c.digest()
        outcome = self.typed_hf(c, d, "missing part")
        self.assertEqual(outcome.how, "restarted", outcome)
        self.assertShows(outcome, "HF failed: The image cannot be used. A part of the image is "
                         "missing. (part 2)", "Drive C has not been changed.")
        self.assertNotIn("Restoring", outcome.screen)
        self.assertEqual(c.digest(), sectors, outcome)
        self.assertClean(c, d)

    # Errors while HF writes drive C.

    def test_errors_in_the_restore_leave_hf_waiting_and_r_runs_it_again(self):
        """A sector of drive C that cannot be written; then, in the
        restore run again with R, a sector of the image that cannot be
        read (after HF's check had read it well); then R once more."""
        c, d = self.copies([self.c, self.d])
        # A cluster the restore writes: one of the image's files; and one
        # of the image's third part.
        bad_c = c.cluster_lba(lab.clusters(c, "/Documents and Settings.doc")[20]) + 3
        bad_d = d.cluster_lba(lab.clusters(d, f"{PARTS_FOLDER}/{PART_STEM}.G02")[5])
        self.damage(c, self.random.randbytes)
        hand_over(c, "HF")
        # Each fault holds from the disk's state 1 (drive C) or 2 (the
        # image) until the test switches it off: BiosDisk retries a failed
        # call three times, so a fault that fires once is never seen.
        faults = {0: [lab.Fault(bad_c, write=True, state=1), lab.Switch(1, 2)],
                  1: [lab.Fault(bad_d, state=2), lab.Switch(1, 2), lab.Switch(2, 3)]}
        folder = self.run_folder()
        advice = ["Drive C is incomplete: do not restart the computer now, it would not start.",
                  "To restore from a DOS boot disk instead, start from it and type:",
                  f"HF {IMAGE_DOS_PATH}", "Press R to run the restore again now."]
        with lab.Machine(folder, [c, d], name="restore", faults=faults,
                         timeout=180) as machine:
            machine.wait_for(r"Press R to run the restore again now")
            first = machine.screen()
            # Drive C fails no more; the image fails from now on.
            machine.switch_faults(0)
            machine.switch_faults(1)
            machine.send_key("r")
            machine.wait_for(r"cannot be read\. \(at byte \d+\)[\s\S]*Press R to run")
            second = machine.screen()
            machine.switch_faults(1)
            machine.send_key("r")
            outcome = machine.wait_end()
        for name, screen in [("first", first), ("second", second)]:
            (folder / "restore" / f"{name}.txt").write_text(screen + "\n", encoding="utf-8")
            self.assertNotIn("Restarting", screen)
            self.assertNotIn("Press a key", screen)
            self.assertNotIn("Drive C has not been changed", screen)
        self.assertShows(first, "HF failed: The restore stopped. A disk sector cannot be "
                         f"written. (sector {bad_c}, BIOS status 0Ch)", *advice)
        self.assertShows(second, "HF failed: The restore stopped. The image file cannot be read.",
                         *advice)
        self.assertRestored(c, outcome)
        self.assertClean(c, d)

    # Faults during the backup.

    def test_a_write_error_on_the_image_drive_stops_the_backup(self):
        c, d = self.copies([self.c_before, self.d_before])
        # The image's clusters start where the FSInfo hint says; its 31st
        # (of 32 KB) is bad for writing.
        first = 1000
        lab.allocate_from(d, first)
        lba = d.cluster_lba(first + 30)
        spc = d.boot_sector()["sectors_per_cluster"]
        faults = {1: [lab.Fault(lba + n, write=True) for n in range(spc)]}
        with lab.Machine(self.run_folder(), [c, d], name="backup", faults=faults,
                         timeout=120) as machine:
            machine.wait_for(r"Press a key to restart the computer")
            screen = machine.screen()
            self.assertTrue(machine.status().startswith("running"))
            machine.send_key("ret")
            outcome = machine.wait_end()
        self.assertEqual(outcome.how, "restarted", outcome)
        # FreeDOS calls SeaBIOS's error (AH=0Ch) "sector not found", and
        # returns "access denied" for the write itself.
        self.assertShows(outcome, "BF failed: The image could not be written. The image file "
                         "cannot be written. (a disk sector was not found)",
                         "Drive C has not been changed.", "No image was made: back up again.")
        # The progress line stops where the write did.
        self.assertRegex(screen, r"Writing +[1-9]\d?%  ")
        self.assertNotIn("Backup complete", screen)
        image = self.folder / f"{self._testMethodName}.gho"
        image.write_bytes(lab.read(d, IMAGE) or b"")
        checked = qemu_test.orvane_image(image)
        self.assertNotEqual(checked.returncode, 0, checked.stdout)
        self.assertBackAsTheUserLeftIt(c, outcome)
        self.assertClean(c, d)

    def test_a_power_cut_while_bf_writes_leaves_an_image_hf_refuses(self):
        c, d = self.copies([self.c_before, self.d_before])
        folder = self.run_folder()
        with lab.Machine(folder, [c, d], name="cut", timeout=120) as machine:
            machine.wait_for(r"Writing +[3-8]\d%")
            cut = machine.cut_power()
        self.assertNotIn("Backup complete", cut.screen, cut)
        image = self.folder / f"{self._testMethodName}.gho"
        image.write_bytes(lab.read(d, IMAGE) or b"")
        checked = qemu_test.orvane_image(image)
        self.assertNotEqual(checked.returncode, 0, checked.stdout)
        # BF put the boot files back before it wrote: the next start is
        # Windows'.
        self.assertBackAsTheUserLeftIt(c, cut)
        sectors = c.digest()
        outcome = self.typed_hf(c, d, "hf")
        self.assertEqual(outcome.how, "restarted", outcome)
        self.assertShows(outcome, "HF failed: The image cannot be used.",
                         "Drive C has not been changed.")
        self.assertNotIn("Restoring", outcome.screen)
        self.assertEqual(c.digest(), sectors, outcome)
        self.assertClean(c, d)


if __name__ == "__main__":
    unittest.main()

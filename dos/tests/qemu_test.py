"""BF.COM and HF.COM on a real BIOS (SeaBIOS under QEMU) and a real DOS
kernel (FreeDOS): a backup and a restore of drive C, attended, as the
Windows side hands them over, each ending in the program's own restart.

Drive C is BIOS disk 80h: FAT32 of 12 GB with files past the reach of CHS
(8.4 GB), long and Chinese (GBK) file names; or FAT16 of 2 GB. The image
goes to a 40 GB FAT32 disk (81h), which DOS calls D: while the ticket's
Windows path says G:. The drives are as large as real ones and sparse:
what they hold is kept small, since QEMU's emulation (TCG) moves about
5 MB a second.

Screens of every run stay in build/dos-lab/<test>/<run>/.
"""

import hashlib
import pathlib
import random
import subprocess
import tempfile
import unittest

import jobs_test
import qemu_harness as lab
from jobs_test import DOS_MENU, USER_BATCH, USER_MENU, WINDOWS_PATH

MB = 1 << 20
IMAGE = "/Backup/2026-12-8-XP.GHO"  # on drive D:, short name \BACKUP\2026-1~1.GHO
PROGRAM_FOLDER = "/ORVANE"
# The job's batch file as the Windows side writes it (Form1::WriteBootFiles);
# what BF and HF leave of it when no C:\AUTOEXEC.ORV was saved.
BATCH = "@Echo Off\r\nPath=C:\\ORVANE\r\nSmartdrv\r\n{job} " + WINDOWS_PATH
BATCH_LESS_JOB = b"@Echo Off\r\nPath=C:\\ORVANE\r\nSmartdrv\r\n"
# Files of a job that must be gone when it ends.
JOB_FILES = ("BOOT.ORV", "ORVANE.JOB", "AUTOEXEC.ORV", "BOOT.NEW", "AUTOEXEC.NEW")
# Windows' own attributes of boot.ini (archive, system, hidden, read-only),
# as the ticket's BootAttributes=39 says; the DOS menu the Windows side
# leaves read-only and hidden.
USER_MENU_ATTRIBUTES = "+a +s +h +r"
DOS_MENU_ATTRIBUTES = "+r +h"
# A Chinese Windows names "备份说明文档.txt" 备份说~1.TXT in GBK, and
# the folder "中文资料夹" 中文资~1.
GBK_FOLDER = ("中文资料夹", "中文资~1".encode("gbk").ljust(11, b" "))
GBK_FILE = ("备份说明文档.txt", "备份说~1".encode("gbk") + b"TXT")


def orvane_image(path):
    """`orvane-image verify` of the native build on an image file."""
    tool = lab.dosbox_harness.DOS_BUILD_DIR.parent / "native" / "orvane-image"
    if not tool.is_file():
        raise AssertionError(f"{tool} is missing: build the native preset")
    return subprocess.run([str(tool), "verify", str(path)], capture_output=True, text=True)


def attributes(disk, name):
    """mattrib's letters for one file, such as "ASHR"."""
    line = lab.mtools("mattrib", "-i", disk.mtools_target(), f"::{name}").stdout.decode()
    return "".join(line.split(":", 1)[0].split())


def set_attributes(disk, name, flags):
    lab.mtools("mattrib", *flags.split(), "-i", disk.mtools_target(), f"::{name}")


def make_disks(folder, size, fat_bits, kind, user_batch=True, image_disk_size=40 << 30):
    """Drive C (80h) with Orvane's DOS programs in C:\\ORVANE, the user's
    boot menu and (`user_batch`) batch file; and the image disk (81h, a
    Vista-style partition from sector 2048) with the empty image file the
    Windows side creates. Drive C's other files are the caller's."""
    folder = pathlib.Path(folder)
    c = lab.make_disk(folder / "c.img", size, fat_bits, kind, serial=0x1234ABCD,
                      label="DRIVE C")
    d = lab.make_disk(folder / "d.img", image_disk_size, 32, start=2048,
                      serial=jobs_test.IMAGE_SERIAL, label="IMAGES")
    lab.make_folder(c, PROGRAM_FOLDER)
    for name in ("BF.COM", "HF.COM"):
        lab.put(c, f"{PROGRAM_FOLDER}/{name}", lab.program(name).read_bytes())
    lab.put(c, "/BOOT.INI", USER_MENU)
    set_attributes(c, "/BOOT.INI", USER_MENU_ATTRIBUTES)
    if user_batch:
        lab.put(c, "/AUTOEXEC.BAT", USER_BATCH)
    lab.make_folder(d, "/Backup")
    lab.put(d, IMAGE, b"")
    return c, d


def hand_over(c, job):
    """What the Windows side writes on drive C before it restarts into DOS
    for `job` ("BF" or "HF"; HandOver::Prepare, Form1::WriteBootFiles): the
    saved menu and batch file (C:\\BOOT.ORV, C:\\AUTOEXEC.ORV: where there
    is a batch file), the ticket, the DOS menu and the job's batch file."""
    saves_batch = lab.read(c, "/AUTOEXEC.BAT") is not None
    # CopyFileW keeps the date, time and attributes.
    lab.mtools("mcopy", "-m", "-i", c.mtools_target(), "::/BOOT.INI", "::/BOOT.ORV")
    set_attributes(c, "/BOOT.ORV", USER_MENU_ATTRIBUTES)
    lab.put(c, "/ORVANE.JOB", jobs_test.ticket(job))
    set_attributes(c, "/BOOT.INI", "-r -s -h")
    lab.put(c, "/BOOT.INI", DOS_MENU)
    set_attributes(c, "/BOOT.INI", DOS_MENU_ATTRIBUTES)
    if saves_batch:
        lab.mtools("mcopy", "-m", "-i", c.mtools_target(), "::/AUTOEXEC.BAT", "::/AUTOEXEC.ORV")
    lab.put(c, "/AUTOEXEC.BAT", BATCH.format(job=job).encode("ascii"))


def comparable(listing, leave_out=()):
    """A listing's files, and its attribute and detail lines sorted (a
    folder's order of entries aside), less the lines that name any of
    `leave_out` and the folders' totals."""
    files, *texts = listing
    return files, *(sorted(line for line in text.splitlines()
                           if not any(name in line for name in leave_out)
                           and not (leave_out and " files " in line)) for text in texts)


class Scenario:
    """Drive C of `size` bytes (`fat_bits`, partition type `kind`) with the
    files of `fill`, and the image disk; one backup for the class, then
    each test on its own copy of the disks. `user_batch`: the user has a
    C:\\AUTOEXEC.BAT, which the Windows side saves as C:\\AUTOEXEC.ORV."""
    maxDiff = None
    size = 12 << 30
    fat_bits = 32
    kind = lab.FAT32_LBA
    seed = 1
    user_batch = True

    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.TemporaryDirectory(prefix="orvane-lab-")
        cls.folder = pathlib.Path(cls.temp.name)
        cls.screens = lab.LAB_DIR / cls.__name__
        cls.random = random.Random(cls.seed)
        cls.c, cls.d = make_disks(cls.folder, cls.size, cls.fat_bits, cls.kind, cls.user_batch)
        cls.fill(cls.c)
        # What drive C is to hold after the backup: what it holds now, the
        # user's menu and batch file among it.
        cls.expected = lab.listing(cls.c)
        hand_over(cls.c, "BF")
        cls.backup = lab.run(cls.screens, [cls.c, cls.d], name="backup", timeout=240)
        cls.after_backup = lab.listing(cls.c)

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    @classmethod
    def fill(cls, c):
        """Drive C's files, made by the scenario."""
        raise NotImplementedError

    @classmethod
    def data(cls, size):
        return cls.random.randbytes(size)

    def assertClean(self, *disks):
        for disk in disks:
            clean, report = lab.fsck(disk)
            self.assertTrue(clean, f"{disk.path.name}:\n{report}")

    # The backup (setUpClass) and what it left.

    def test_backup_restarts_with_the_image_written_and_the_users_menu_back(self):
        outcome = self.backup
        self.assertEqual(outcome.how, "restarted", outcome)
        for line in ["Orvane BF 1.0: backs drive C up into an image file.",
                     "Image file: D:\\BACKUP\\2026-1~1.GHO", "Backup complete and verified",
                     "Restarting the computer..."]:
            self.assertTrue(lab.shows(outcome.screen, line), outcome)
        # The partition entries' CHS fields match the BIOS's geometry.
        self.assertIn("C: HD1, Pri[ 1]", outcome.screen)
        self.assertNotIn("suspect partition", outcome.screen)
        self.assertEqual(lab.read(self.c, "/BOOT.INI"), USER_MENU)
        self.assertEqual(attributes(self.c, "/BOOT.INI"), "ASHR")
        self.assertEqual(lab.read(self.c, "/AUTOEXEC.BAT"),
                         USER_BATCH if self.user_batch else BATCH_LESS_JOB)
        self.assertFalse(set(JOB_FILES) & set(lab.names(self.c)))
        # Every other file, folder, attribute, date and time as it was.
        # Without a saved batch file BF leaves the job's less its line.
        leave_out = () if self.user_batch else ("AUTOEXEC",)
        expected = comparable(self.expected, leave_out)
        if not self.user_batch:
            expected[0]["/AUTOEXEC.BAT"] = hashlib.sha256(BATCH_LESS_JOB).hexdigest()
        self.assertEqual(comparable(self.after_backup, leave_out), expected, outcome)
        image = self.folder / "image.gho"
        image.write_bytes(lab.read(self.d, IMAGE))
        checked = orvane_image(image)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertClean(self.c, self.d)

    # The restore.

    def copies(self):
        """The disks as the backup left them, copied for this test."""
        folder = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory(prefix="orvane-lab-")))
        return [lab.copy_disk(disk, folder / disk.path.name) for disk in (self.c, self.d)]

    def restore(self, damage, control_c=False):
        """A copy of the disks after the backup; `damage(c)` changes drive
        C, the Windows side hands over for HF, HF runs attended. With
        `control_c`, Ctrl-C is pressed while HF writes drive C: DOS would
        end HF there, drive C half-written, unless HF has it go on."""
        c, d = self.copies()
        damage(c)
        hand_over(c, "HF")
        self.assertNotEqual(lab.listing(c), self.after_backup, "nothing to restore")
        with lab.Machine(self.screens / self._testMethodName, [c, d], name="restore",
                         timeout=240) as machine:
            if control_c:
                machine.wait_for(r"Restoring +[1-9]\d%")
                machine.send_key("ctrl-c")
            outcome = machine.wait_end()
        return c, d, outcome

    def assertRestored(self, c, d, outcome):
        self.assertEqual(outcome.how, "restarted", outcome)
        for line in ["Orvane HF 1.0: restores drive C from an image file.",
                     "Drive C will be overwritten. Press Esc to cancel.", "Restore complete",
                     "Restarting the computer..."]:
            self.assertTrue(lab.shows(outcome.screen, line), outcome)
        # Every file and folder, their names, attributes, dates and order.
        files, attribute_lines, details = lab.listing(c)
        self.assertEqual(files, self.after_backup[0], outcome)
        self.assertEqual(attribute_lines, self.after_backup[1], outcome)
        self.assertEqual(details, self.after_backup[2], outcome)
        self.assertClean(c, d)


class Fat32Of12GB(Scenario, unittest.TestCase):
    size = 12 << 30
    fat_bits = 32
    kind = lab.FAT32_LBA

    @classmethod
    def fill(cls, c):
        lab.make_folder(c, "/WINDOWS")
        lab.make_folder(c, "/WINDOWS/system32")
        for name, size in [("/WINDOWS/system32/ntoskrnl.exe", 2 * MB + 123),
                           ("/WINDOWS/system32/hal.dll", 130_000), ("/WINDOWS/win.ini", 900),
                           ("/ntldr", 250_000), ("/EMPTY.TXT", 0), ("/ODD.BIN", 513)]:
            lab.put(c, name, cls.data(size))
        lab.make_folder(c, "/Documents and Settings")
        lab.put(c, "/Documents and Settings/Quarterly report for 2026.doc", cls.data(700_000))
        lab.make_folder(c, f"/{GBK_FOLDER[0]}")
        lab.set_short_name(c, "/", *GBK_FOLDER)
        lab.put(c, f"/{GBK_FOLDER[0]}/{GBK_FILE[0]}", "备份说明".encode("gbk") * 1000)
        lab.set_short_name(c, f"/{GBK_FOLDER[0]}", *GBK_FILE)
        # Past 8.4 GB, where only the INT 13h extensions reach: one file
        # across that boundary, one near the drive's end.
        layout = c.boot_sector()
        spc = layout["sectors_per_cluster"]
        first_past = (lab.CHS_LIMIT - c.partition_start - layout["first_data_sector"]) // spc + 2
        lab.allocate_from(c, first_past - 20)
        lab.make_folder(c, "/Far away")
        lab.put(c, "/Far away/across the CHS limit.bin", cls.data(400_000))
        lab.allocate_from(c, layout["clusters"] - 200)
        lab.put(c, "/Far away/near the end.bin", cls.data(600_000))
        lab.allocate_from(c, 3)

    def test_files_lie_past_the_reach_of_chs(self):
        lbas = {name: [self.c.cluster_lba(n) for n in lab.clusters(self.c, name)]
                for name in ("/Far away/across the CHS limit.bin", "/Far away/near the end.bin")}
        across = lbas["/Far away/across the CHS limit.bin"]
        self.assertLess(across[0], lab.CHS_LIMIT)
        self.assertGreater(across[-1], lab.CHS_LIMIT)
        self.assertGreater(lbas["/Far away/near the end.bin"][0], 23_000_000)
        self.assertIn(GBK_FILE[0], lab.names(self.c, f"/{GBK_FOLDER[0]}"))

    def test_restore_brings_back_drive_c_as_at_backup_time(self):
        def damage(c):
            # Past 8.4 GB in place: the restore must write there.
            lab.overwrite(c, "/Far away/across the CHS limit.bin", self.data(400_000))
            lab.overwrite(c, "/Far away/near the end.bin", self.data(600_000))
            lab.put(c, "/WINDOWS/system32/hal.dll", self.data(90_000))
            lab.put(c, f"/{GBK_FOLDER[0]}/{GBK_FILE[0]}", b"changed")
            lab.delete(c, "/ntldr")
            lab.put(c, "/pagefile.sys", self.data(300_000))
            lab.make_folder(c, "/New folder")
            lab.put(c, "/New folder/notes.txt", b"made after the backup")

        self.assertRestored(*self.restore(damage))


class Fat16Of2GB(Scenario, unittest.TestCase):
    """A user without a C:\\AUTOEXEC.BAT; also what a failing sector and a
    power cut do."""
    size = 2 << 30
    fat_bits = 16
    kind = lab.FAT16
    seed = 2
    user_batch = False

    @classmethod
    def fill(cls, c):
        lab.make_folder(c, "/WINDOWS")
        for name, size in [("/WINDOWS/explorer.exe", 2 * MB + 7), ("/WINDOWS/win.ini", 900),
                           ("/ntldr", 250_000), ("/Program Files.txt", 3000)]:
            lab.put(c, name, cls.data(size))

    @staticmethod
    def damage(c):
        lab.overwrite(c, "/WINDOWS/win.ini", b"changed in place")
        lab.put(c, "/WINDOWS/explorer.exe", Fat16Of2GB.data(1 * MB))
        lab.delete(c, "/ntldr")
        lab.put(c, "/NEW.TXT", b"made after the backup")
        lab.make_folder(c, "/New folder")

    def attended_failure(self, c, d, faults):
        """Runs the job with `faults`; the program fails, waits for a key,
        gets one and restarts."""
        with lab.Machine(self.screens / self._testMethodName, [c, d], name="run",
                         faults=faults, timeout=180) as machine:
            machine.wait_for(r"Press a key to restart the computer")
            machine.send_key("ret")
            return machine.wait_end()

    def assertUnchanged(self, c, files, outcome):
        """Drive C holds `files` (a listing's first part, made before the
        hand-over): the user's menu and batch file are back, the job's
        files gone, every other file as it was."""
        self.assertEqual(lab.listing(c)[0], files, outcome)

    def test_restore_brings_back_drive_c_as_at_backup_time(self):
        self.assertRestored(*self.restore(self.damage, control_c=True))

    def test_a_sector_of_drive_c_that_cannot_be_read_stops_the_backup(self):
        c, d = self.copies()
        before = lab.listing(c)[0]
        hand_over(c, "BF")
        sector = c.cluster_lba(lab.clusters(c, "/WINDOWS/explorer.exe")[10]) + 1
        outcome = self.attended_failure(c, d, {0: [lab.Fault(sector)]})
        self.assertEqual(outcome.how, "restarted", outcome)
        for line in ["BF failed: The image could not be written. A disk sector cannot be read. "
                     f"(sector {sector}, BIOS status 0Ch)", "Drive C has not been changed.",
                     "No image was made: back up again."]:
            self.assertTrue(lab.shows(outcome.screen, line), outcome)
        self.assertEqual(lab.read(d, IMAGE), b"")
        self.assertUnchanged(c, before, outcome)
        self.assertClean(c, d)

    def test_a_sector_of_the_image_that_cannot_be_read_leaves_drive_c_unchanged(self):
        c, d = self.copies()
        self.damage(c)
        before = lab.listing(c)[0]
        hand_over(c, "HF")
        image = lab.clusters(d, IMAGE)
        sector = d.cluster_lba(image[len(image) // 2])
        outcome = self.attended_failure(c, d, {1: [lab.Fault(sector)]})
        self.assertEqual(outcome.how, "restarted", outcome)
        for line in ["HF failed: The image's drive cannot be read. The image file cannot be read.",
                     "Drive C has not been changed.", "The drive may be failing"]:
            self.assertTrue(lab.shows(outcome.screen, line), outcome)
        self.assertNotIn("Restoring", outcome.screen, outcome)
        self.assertUnchanged(c, before, outcome)
        self.assertClean(c, d)

    def test_after_a_power_cut_in_the_restore_hf_from_a_boot_floppy_finishes_it(self):
        c, d = self.copies()
        self.damage(c)
        hand_over(c, "HF")
        folder = self.screens / self._testMethodName
        with lab.Machine(folder, [c, d], name="cut", timeout=180) as machine:
            machine.wait_for(r"Restoring +[1-9]\d%")
            cut = machine.cut_power()
        self.assertNotIn("Restore complete", cut.screen, cut)
        # The ticket went before the restore began: HF is started by hand,
        # as its advice says, with the image's DOS path.
        again = lab.run(folder, [c, d], name="again", timeout=180,
                        commands=["A:\\HF.COM D:\\BACKUP\\2026-1~1.GHO"],
                        floppy_files=[lab.program("HF.COM")])
        self.assertRestored(c, d, again)


if __name__ == "__main__":
    unittest.main()

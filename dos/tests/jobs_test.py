"""BF.COM and HF.COM under DOSBox: a backup and a restore of drive C as the
Windows side hands them over, and every way they must refuse to go on.

Drive C is a FAT16 hard disk (BIOS disk 80h); the image goes to a second
disk (81h), which DOS calls D: while the ticket's Windows path says G:.
"""

import hashlib
import os
import pathlib
import struct
import subprocess
import tempfile
import unittest

import dosbox_harness as harness

DOS_MENU = (b"[boot loader]\r\ntimeout = 0\r\ndefault=C:\\\r\n[operating systems]\r\n"
            b"C:\\=\"Microsoft Windows\"\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS="
            b"\"Microsoft Windows XP Professional\" /fastdetect\r\n")
WINDOWS_MENU = (b"[boot loader]\r\ntimeout = 0\r\n"
                b"default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n[operating systems]\r\n"
                b"multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS="
                b"\"Microsoft Windows XP Professional\" /fastdetect\r\n"
                b"C:\\=\"Microsoft Windows\"\r\n")
USER_MENU = (b"[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINDOWS"
             b"\r\n[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(2)\\WINDOWS=\"XP\" "
             b"/noexecute=optin\r\nC:\\=\"DOS\"\r\n")
WINDOWS_PATH = "G:\\Backup\\2026-12-8-XP.GHO"
USER_BATCH = b"@ECHO OFF\r\nPROMPT $P$G\r\nPATH C:\\DOS;C:\\WINDOWS\r\n"
SHORT_PATH = "\\BACKUP\\2026-1~1.GHO"
IMAGE_SERIAL = 0xCAFEF00D
# INT 16h AH=05h CX=011Bh (Esc into the keyboard buffer), then exit.
ESC_COM = bytes.fromhex("b405b91b01cd16b8004ccd21")

RANDOM = __import__("random").Random(20261208)


def ticket(job, image=WINDOWS_PATH, serial=IMAGE_SERIAL):
    return (f"[Orvane]\r\nJob={job}\r\nImage={image}\r\nSerial={serial >> 16:04X}-"
            f"{serial & 0xFFFF:04X}\r\nShortPath={SHORT_PATH}\r\nBootAttributes=39\r\n"
            ).encode("ascii")


def job_batch(command):
    """C:\\AUTOEXEC.BAT as the Windows side writes it for a job."""
    return f"@Echo Off\r\nPath=C:\\ORVANE\r\nSmartdrv\r\n{command}".encode("ascii")


def packed_chunks(image):
    """(offset, length) of each LZ4 block in an image: the chunks of kind 1
    (docs/image-format.md)."""
    found, at = [], 512
    while image[at:at + 4] == b"CHNK":
        map_bytes, sectors, kind = struct.unpack_from("<HHH", image, at + 14)
        body = at + 28 + map_bytes
        if kind == 1:
            length, = struct.unpack_from("<I", image, body)
            found.append((body + 4, length))
            at = body + 4 + length
        else:
            at = body + sectors * 512
    return found


def digest(data):
    return None if data is None else hashlib.sha256(data).hexdigest()


class Machine:
    """Drive C with files, the boot files of a job, and the image disk."""

    def __init__(self, folder, job=None, image_cylinders=100):
        self.folder = pathlib.Path(folder)
        self.c = harness.make_fat_disk(self.folder / "c.img", 65, serial=0x1234ABCD)
        self.d = harness.make_fat_disk(self.folder / "d.img", image_cylinders, heads=8,
                                       letter="D", serial=IMAGE_SERIAL, bios_index=1)
        self.files = {}
        harness._mtools("mmd", "-i", self.c.mtools_target(), "::/WINDOWS", "::/WINDOWS/SYSTEM")
        for name, size in [("/WINDOWS/SYSTEM/KERNEL.DLL", 700_000), ("/WINDOWS/WIN.INI", 900),
                           ("/DATA.BIN", 1_200_000), ("/EMPTY.TXT", 0), ("/ODD.BIN", 513)]:
            self.put(self.c, name, RANDOM.randbytes(size))
        self.put(self.c, "/BOOT.INI", DOS_MENU)
        # What C:\AUTOEXEC.BAT must be when the job ends (None: no such file).
        self.batch = None
        if job:
            self.hand_over(job)
        harness._mtools("mmd", "-i", self.d.mtools_target(), "::/BACKUP")
        self.put(self.d, "/BACKUP/2026-1~1.GHO", b"")

    def hand_over(self, job):
        """The files the Windows side leaves on drive C for `job`."""
        self.put(self.c, "/BOOT.INI", DOS_MENU)
        self.put(self.c, "/BOOT.ORV", USER_MENU)
        self.put(self.c, "/ORVANE.JOB", ticket(job))
        self.put(self.c, "/AUTOEXEC.BAT", job_batch(f"{job} {WINDOWS_PATH}"))
        self.put(self.c, "/AUTOEXEC.ORV", USER_BATCH)
        self.batch = USER_BATCH

    def put(self, disk, name, data, keep=True):
        """Writes a file; `keep`: drive C's file as the tests expect it back."""
        host = self.folder / "staging"
        host.write_bytes(data)
        harness.copy_in(disk, host, name)
        if keep and disk is self.c and name not in ("/BOOT.INI", "/BOOT.ORV", "/ORVANE.JOB",
                                                    "/AUTOEXEC.BAT", "/AUTOEXEC.ORV"):
            self.files[name] = data

    def run(self, commands, environment=None, programs=("BF.COM", "HF.COM"), current_drive=None):
        env = {"ORVANE_UNATTENDED": "1"} if environment is None else environment
        paths = [harness.program(p) for p in programs]
        return harness.run_dosbox([self.c, self.d], commands, environment=env, programs=paths,
                                  current_drive=current_drive)

    def image(self):
        return harness.read_file(self.d, "/BACKUP/2026-1~1.GHO")


class DosSideTest(unittest.TestCase):
    def setUp(self):
        temp = tempfile.TemporaryDirectory(prefix="orvane-jobs-")
        self.addCleanup(temp.cleanup)
        self.folder = pathlib.Path(temp.name)

    def assertFilesAsMade(self, machine):
        for name, data in machine.files.items():
            self.assertEqual(digest(harness.read_file(machine.c, name)), digest(data), name)

    def assertClean(self, *disks):
        for disk in disks:
            clean, report = harness.fsck(disk)
            self.assertTrue(clean, report)

    def assertMenuBack(self, machine, menu):
        """The user's boot files are back and the job's are gone."""
        self.assertEqual(harness.read_file(machine.c, "/BOOT.INI"), menu)
        self.assertEqual(harness.read_file(machine.c, "/AUTOEXEC.BAT"), machine.batch)
        names = harness.list_files(machine.c)
        for name in ("BOOT.ORV", "ORVANE.JOB", "AUTOEXEC.ORV", "BOOT.NEW", "AUTOEXEC.NEW"):
            self.assertNotIn(name, names)

    def verify_natively(self, image):
        path = self.folder / "image.gho"
        path.write_bytes(image)
        tool = harness.DOS_BUILD_DIR.parent / "native" / "orvane-image"
        return subprocess.run([str(tool), "verify", str(path)], capture_output=True, text=True)


class BackupAndRestore(DosSideTest):
    def test_backup_then_damage_then_restore_brings_drive_c_back(self):
        # DOSBox has a VGA: the programs draw in Chinese and the redirected
        # output is the English log; with ORVANE_LANG=EN the English text
        # screen is that output.
        for language in ("ZH", "EN"):
            with self.subTest(language):
                self.backup_damage_restore(language)

    def backup_damage_restore(self, language):
        folder = self.folder / language
        folder.mkdir()
        environment = {"ORVANE_UNATTENDED": "1"}
        if language == "EN":
            environment["ORVANE_LANG"] = "EN"
        machine = Machine(folder, job="BF")
        backup, = machine.run([f"BF {WINDOWS_PATH.lower()}"], environment)
        self.assertEqual(backup.exit_code, 0, backup.output)
        self.assertIn("D:\\BACKUP\\2026-1~1.GHO", backup.output)
        self.assertIn("Backup complete and verified", backup.output)
        # The progress line's figures, in the log too.
        self.assertRegex(backup.output, r"\rWriting +100%  (\d+\.\d) MB of \1 MB")
        self.assertMenuBack(machine, USER_MENU)
        self.assertClean(machine.c, machine.d)
        image = machine.image()
        checked = self.verify_natively(image)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        # Hardly larger than what drive C holds.
        layout = harness.boot_sector(machine.c)
        used = sum(len(d) for d in machine.files.values()) + len(USER_MENU)
        self.assertLess(len(image), (layout["first_data_sector"] * 512 + used) * 1.01 + 65536 +
                        len(machine.files) * 512)

        # Drive C damaged: a file changed, one deleted, one added, and the
        # job's files as the Windows side writes them for a restore.
        machine.put(machine.c, "/DATA.BIN", RANDOM.randbytes(300_000), keep=False)
        harness._mtools("mdel", "-i", machine.c.mtools_target(), "::/ODD.BIN")
        machine.put(machine.c, "/NEW.BIN", b"new", keep=False)
        machine.hand_over("HF")

        restore, = machine.run([f"HF {WINDOWS_PATH}"], environment)
        self.assertEqual(restore.exit_code, 0, restore.output)
        self.assertIn("Restore complete", restore.output)
        self.assertFilesAsMade(machine)
        self.assertNotIn("NEW.BIN", harness.list_files(machine.c))
        self.assertMenuBack(machine, USER_MENU)
        self.assertClean(machine.c, machine.d)

    def test_without_a_ticket_the_argument_is_a_dos_path_and_the_menu_is_made(self):
        machine = Machine(self.folder)
        # No saved batch file: the job's line goes, the rest stays.
        machine.put(machine.c, "/AUTOEXEC.BAT", job_batch("BF D:\\MANUAL.GHO\r\n"))
        machine.batch = job_batch("")
        before, backup, restore, after = machine.run(
            ["MEM", "BF D:\\MANUAL.GHO", "HF D:\\MANUAL.GHO", "MEM"])
        self.assertEqual(backup.exit_code, 0, backup.output)
        self.assertEqual(restore.exit_code, 0, restore.output)
        # The XMS block of their batches is given back: DOS would not.
        self.assertEqual(harness.free_xms_kb(after.output), harness.free_xms_kb(before.output))
        self.assertIn("MANUAL.GHO", harness.list_files(machine.d))
        self.assertMenuBack(machine, WINDOWS_MENU)
        self.assertFilesAsMade(machine)
        self.assertClean(machine.c, machine.d)


class CompressedImages(DosSideTest):
    def test_bf_compresses_and_hf_restores_images_of_bf_and_of_orvane_image(self):
        machine = Machine(self.folder, job="BF")
        text = b"".join(b"%06d the quick brown fox jumps over the lazy dog\r\n" % i
                        for i in range(12_000))
        machine.put(machine.c, "/README.TXT", text)
        backup, = machine.run([f"BF {WINDOWS_PATH}"])
        self.assertEqual(backup.exit_code, 0, backup.output)
        image = machine.image()
        self.assertEqual(struct.unpack_from("<HH", image, 8), (2, 0), "compressed: format 2.0")
        self.assertTrue(packed_chunks(image))
        layout = harness.boot_sector(machine.c)
        stored = (layout["first_data_sector"] * 512 + sum(len(d) for d in machine.files.values()) +
                  len(USER_MENU))
        self.assertLess(len(image), stored - len(text) * 2 // 3, "the text packs")

        # The same drive C imaged by orvane-image (chunks of 32 KB).
        partition = self.folder / "partition.img"
        partition.write_bytes(machine.c.read_sectors(harness.PARTITION_START,
                                                     machine.c.partition_sectors))
        tool = harness.DOS_BUILD_DIR.parent / "native" / "orvane-image"
        made = subprocess.run([str(tool), "backup", str(partition), str(self.folder / "TOOL.GHO")],
                              capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        machine.put(machine.d, "/TOOL.GHO", (self.folder / "TOOL.GHO").read_bytes())

        for name in ("/BACKUP/2026-1~1.GHO", "/TOOL.GHO"):
            with self.subTest(name):
                machine.put(machine.c, "/README.TXT", b"changed", keep=False)
                machine.put(machine.c, "/DATA.BIN", RANDOM.randbytes(5000), keep=False)
                restore, = machine.run([f"HF D:{name.replace('/', chr(92))}"])
                self.assertEqual(restore.exit_code, 0, restore.output)
                self.assertIn("Restore complete", restore.output)
                self.assertFilesAsMade(machine)
                self.assertClean(machine.c, machine.d)


class ImageInParts(DosSideTest):
    def test_parts_are_written_checked_and_restored(self):
        machine = Machine(self.folder)
        # Not a whole number of clusters: DOSBox 0.74 gives a file written to
        # the end of a cluster one more cluster than its size needs.
        env = {"ORVANE_UNATTENDED": "1", "ORVANE_PART_SIZE": "700000"}
        backup, = machine.run(["BF D:\\PARTS.GHO"], environment=env)
        self.assertEqual(backup.exit_code, 0, backup.output)
        names = harness.list_files(machine.d)
        self.assertIn("PARTS.G01", names)
        self.assertIn("PARTS.G02", names)
        parts = [harness.read_file(machine.d, "/PARTS.GHO"), harness.read_file(machine.d, "/PARTS.G01")]
        self.assertEqual([len(p) for p in parts], [700000, 700000])
        folder = self.folder / "host"
        folder.mkdir()
        for name in ("PARTS.GHO", "PARTS.G01", "PARTS.G02"):
            harness.copy_out(machine.d, "/" + name, folder / name)
        tool = harness.DOS_BUILD_DIR.parent / "native" / "orvane-image"
        checked = subprocess.run([str(tool), "verify", str(folder / "PARTS.GHO")],
                                 capture_output=True, text=True)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

        machine.put(machine.c, "/DATA.BIN", b"changed", keep=False)
        restore, = machine.run(["HF D:\\PARTS.GHO"])
        self.assertEqual(restore.exit_code, 0, restore.output)
        self.assertFilesAsMade(machine)
        self.assertClean(machine.c, machine.d)

        # A part after one as long as the first is missing: so it says.
        harness.mtools("mdel", "-i", machine.d.mtools_target(), "::/PARTS.G02")
        before = machine.c.read_sectors(0, machine.c.sectors)
        refused, = machine.run(["HF D:\\PARTS.GHO"])
        self.assertEqual(refused.exit_code, 1, refused.output)
        self.assertIn("A part of the image is missing. (part 2)", refused.output)
        self.assertEqual(machine.c.read_sectors(0, machine.c.sectors), before)


class RestoreOverAChangedDriveC(DosSideTest):
    """HF over a drive C whose files, FAT and folders have changed since the
    backup, started from drive C as C:\AUTOEXEC.BAT starts it, while its
    menu step writes a new C:\BOOT.INI into clusters the changes freed."""

    def changed_machine(self):
        machine = Machine(self.folder)
        harness._mtools("mmd", "-i", machine.c.mtools_target(), "::/DATA", "::/DATA/SUB")
        names = [f"/DATA/{'SUB/' if i % 3 == 1 else ''}F{i}.BIN" for i in range(20)]
        for name in names:
            machine.put(machine.c, name, RANDOM.randbytes(RANDOM.randrange(0, 300_000)))
        machine.put(machine.c, "/BOOT.INI", WINDOWS_MENU)
        backup, = machine.run(["BF D:\\BACKUP\\2026-1~1.GHO"], current_drive="C")
        self.assertEqual(backup.exit_code, 0, backup.output)
        # The first files on drive C shrink or go: the clusters they free
        # are where the image's first clusters are on drive D, and the
        # menus written into them are what HF's menu step reads and deletes.
        for name in ["/WINDOWS/SYSTEM/KERNEL.DLL", "/WINDOWS/WIN.INI", names[5]]:
            machine.put(machine.c, name, b"x" * 700, keep=False)
        harness._mtools("mdel", "-i", machine.c.mtools_target(), "::/DATA.BIN", f"::{names[7]}")
        harness._mtools("mmd", "-i", machine.c.mtools_target(), "::/LATER")
        machine.put(machine.c, "/LATER/NEW.BIN", RANDOM.randbytes(5000), keep=False)
        harness.set_attributes(machine.c, "/BOOT.INI", "-r -h -s")
        machine.put(machine.c, "/BOOT.INI", DOS_MENU)
        return machine

    def test_every_file_comes_back_with_the_ticket_or_the_dos_path(self):
        for command, job in [(f"HF {WINDOWS_PATH}", "HF"), ("HF D:\\BACKUP\\2026-1~1.GHO", None)]:
            with self.subTest(command=command):
                machine = self.changed_machine()
                if job:
                    machine.put(machine.c, "/ORVANE.JOB", ticket(job))
                restore, = machine.run([command], current_drive="C")
                self.assertEqual(restore.exit_code, 0, restore.output)
                self.assertIn("Restore complete", restore.output)
                self.assertFilesAsMade(machine)
                self.assertNotIn("LATER", harness.list_files(machine.c))
                self.assertMenuBack(machine, WINDOWS_MENU)
                self.assertClean(machine.c, machine.d)


class Refusals(DosSideTest):
    def test_a_ticket_for_another_job_is_not_followed(self):
        machine = Machine(self.folder, job="HF")
        result, = machine.run([f"BF {WINDOWS_PATH}"])
        # G: is no DOS drive: the argument as a DOS path cannot be created.
        self.assertEqual(result.exit_code, 1, result.output)
        self.assertIn("BF failed", result.output)
        self.assertEqual(machine.image(), b"")
        self.assertMenuBack(machine, USER_MENU)
        self.assertFilesAsMade(machine)
        self.assertClean(machine.c, machine.d)

    def test_a_full_image_drive_is_refused_before_anything_is_written(self):
        machine = Machine(self.folder, job="BF")
        free = harness.free_bytes(machine.d)
        machine.put(machine.d, "/FULL.BIN", bytes(free - 1_000_000))
        result, = machine.run([f"BF {WINDOWS_PATH}"])
        self.assertEqual(result.exit_code, 1, result.output)
        self.assertIn("not enough free space", result.output)
        self.assertEqual(machine.image(), b"")
        self.assertMenuBack(machine, USER_MENU)
        self.assertClean(machine.c, machine.d)

    def test_no_image_named_gives_the_usage(self):
        machine = Machine(self.folder)
        bf, hf = machine.run(["BF", "HF"])
        for result, program in [(bf, "BF"), (hf, "HF")]:
            self.assertEqual(result.exit_code, 1, result.output)
            self.assertIn(f"Usage: {program} <image file>", result.output)
            self.assertIn("Drive C has not been changed", result.output)

    def test_the_image_on_drive_c_is_refused(self):
        machine = Machine(self.folder)
        result, = machine.run(["BF C:\\SELF.GHO"])
        self.assertEqual(result.exit_code, 1, result.output)
        self.assertIn("drive C", result.output)
        self.assertNotIn("SELF.GHO", harness.list_files(machine.c))
        self.assertMenuBack(machine, WINDOWS_MENU)
        self.assertClean(machine.c, machine.d)


class DamagedImages(DosSideTest):
    """HF on a damaged image leaves every sector of drive C as it was."""

    @classmethod
    def setUpClass(cls):
        temp = tempfile.TemporaryDirectory(prefix="orvane-image-")
        cls.image_folder = temp
        machine = Machine(temp.name)
        result, = machine.run(["BF D:\\GOOD.GHO"])
        assert result.exit_code == 0, result.output
        for disk in (machine.c, machine.d):
            clean, report = harness.fsck(disk)
            assert clean, report
        cls.good = harness.read_file(machine.d, "/GOOD.GHO")

    @classmethod
    def tearDownClass(cls):
        cls.image_folder.cleanup()

    def test_flipped_cut_and_foreign_images_change_nothing(self):
        machine = Machine(self.folder)
        # The normal menu already: HF has nothing to put back on drive C.
        machine.put(machine.c, "/BOOT.INI", WINDOWS_MENU)
        flipped = bytearray(self.good)
        flipped[len(flipped) // 2] ^= 0x01
        # A byte inside a compressed chunk (BF compresses the FATs' chunks).
        offset, length = packed_chunks(self.good)[0]
        packed = bytearray(self.good)
        packed[offset + length // 2] ^= 0x01
        cut = self.good[:len(self.good) - 700]
        foreign = RANDOM.randbytes(100_000)
        for name, data in [("/FLIP.GHO", bytes(flipped)), ("/PACKED.GHO", bytes(packed)),
                           ("/CUT.GHO", cut), ("/FOREIGN.GHO", foreign)]:
            machine.put(machine.d, name, data)
        before = machine.c.read_sectors(0, machine.c.sectors)

        mem_before, *results, mem_after = machine.run(
            ["MEM", "HF D:\\FLIP.GHO", "HF D:\\PACKED.GHO", "HF D:\\CUT.GHO",
             "HF D:\\FOREIGN.GHO", "HF D:\\MISSING.GHO", "MEM"])
        # Failing, HF gives its batch's XMS block back too.
        self.assertEqual(harness.free_xms_kb(mem_after.output),
                         harness.free_xms_kb(mem_before.output))
        for result, says in zip(results, ["checksum", "checksum", "incomplete",
                                          "not an Orvane image",
                                          "cannot be opened. (file not found)"]):
            self.assertEqual(result.exit_code, 1, result.output)
            self.assertIn(says, result.output)
            self.assertIn("Drive C has not been changed", result.output)
            # Each says what it checks first, and nothing twice.
            self.assertIn("Image file: D:\\", result.output)
            sentences = [part.strip() for line in result.output.splitlines()
                         if "%" not in line for part in line.split(". ") if part.strip()]
            self.assertEqual(len(sentences), len(set(sentences)), result.output)
        self.assertEqual(machine.c.read_sectors(0, machine.c.sectors), before)
        self.assertClean(machine.c, machine.d)

    def test_esc_in_the_countdown_cancels_the_restore(self):
        machine = Machine(self.folder, job="HF")
        machine.put(machine.d, SHORT_PATH.replace("\\", "/"), self.good)
        machine.put(machine.c, "/LATER.BIN", b"made after the backup", keep=False)
        esc = self.folder / "ESC.COM"
        esc.write_bytes(ESC_COM)
        _, result = harness.run_dosbox(
            [machine.c, machine.d], ["ESC", f"HF {WINDOWS_PATH}"],
            environment={"ORVANE_NO_RESTART": "1"},
            programs=[esc, harness.program("HF.COM")])
        self.assertEqual(result.exit_code, 3, result.output)
        self.assertIn("Cancelled", result.output)
        self.assertEqual(harness.read_file(machine.c, "/LATER.BIN"), b"made after the backup")
        self.assertMenuBack(machine, USER_MENU)
        self.assertClean(machine.c, machine.d)


if __name__ == "__main__":
    unittest.main()

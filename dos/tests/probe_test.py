"""PROBE.COM under DOSBox: the real-mode layer's services on a machine with
two hard disks, checked against what the images hold."""

import datetime
import hashlib
import os
import pathlib
import struct
import tempfile
import unittest

import dosbox_harness as harness

MASK = 0xFFFFFFFF


def pattern_sector(lba, generation):
    """Sector `lba` as PROBE VERIFY expects it (its Pattern())."""
    base = (lba * 0x9E3779B1 + generation * 0x01000193) & MASK
    return struct.pack("<128I", *[(base + j * 0x85EBCA77) & MASK for j in range(128)])


def stamp(disk, first, count, generation):
    disk.write_sectors(first, b"".join(pattern_sector(lba, generation)
                                       for lba in range(first, first + count)))


class FatDisks(unittest.TestCase):
    """Two FAT16 disks as DOS drives C: and D:; one DOSBox run for all."""

    @classmethod
    def setUpClass(cls):
        probe = harness.program("PROBE.COM")
        cls.temp = tempfile.TemporaryDirectory()
        folder = pathlib.Path(cls.temp.name)
        cls.c = harness.make_fat_disk(folder / "c.img", 65, serial=0x1234ABCD)
        cls.d = harness.make_fat_disk(folder / "d.img", 100, heads=8, letter="D",
                                      serial=0xCAFEF00D, bios_index=1)
        cls.started = datetime.datetime.now()
        # LOADFIX -560 leaves about 72 KB: less than PROBE's code and the
        # 64 KB data segment.
        cls.facts, cls.files, cls.exit, cls.usage, cls.cramped = harness.run_dosbox(
            [cls.c, cls.d],
            ["PROBE  Facts  please", "PROBE FILES C:", "PROBE EXIT 201", "PROBE NONSENSE",
             "LOADFIX -560 PROBE"],
            environment={"ORVANE_PROBE": "Hello World", "ORVANE": "x"},
            programs=[probe])

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    def test_disks_partitions_and_boot_sectors_read_through_chs(self):
        facts = harness.parse_facts(self.facts.output)
        self.assertEqual(self.facts.exit_code, 0, self.facts.output)
        self.assertEqual(facts["bios.disks"], "2")
        self.assertEqual(facts["disk80.extensions"], "no")
        self.assertEqual(facts["disk80.sectors"], str(self.c.sectors))
        self.assertEqual(facts["disk81.sectors"], str(self.d.sectors))
        self.assertEqual(facts["disk82.open"], "no")
        for key, disk, serial in (("disk80", self.c, "1234ABCD"), ("disk81", self.d, "CAFEF00D")):
            self.assertEqual(facts[f"{key}.signature"], "AA55")
            self.assertEqual(facts[f"{key}.part1"],
                             f"active 80 type 06 start 63 sectors {disk.partition_sectors}")
            self.assertEqual(facts[f"{key}.boot.serial"], serial)
            self.assertEqual(facts[f"{key}.boot.type"], "FAT16   ")
            self.assertEqual(facts[f"{key}.boot.bytes_per_sector"], "512")

    def test_what_dosbox_dos_says_of_drive_c(self):
        facts = harness.parse_facts(self.facts.output)
        self.assertEqual(facts["dos.version"], "0500")
        # DOSBox's AH=32h block is a table of drive numbers, no DPB: refused.
        self.assertEqual(facts["driveC.dpb"], "02030405060708090A0B0C0D0E0F10111213141516171819")
        self.assertEqual(facts["driveC.params"], "none")
        self.assertEqual(facts["driveC.serial"], "unknown")
        self.assertEqual(facts["driveZ.params"], "0")
        # AH=36h matches the file system mformat made.
        boot = harness.boot_sector(self.c)
        self.assertEqual(facts["driveC.bytes_per_cluster"], str(512 * boot["sectors_per_cluster"]))
        self.assertEqual(facts["driveC.total_clusters"], str(boot["clusters"]))
        self.assertEqual(facts["driveC.free_clusters"], facts["driveC.total_clusters"])

    def test_environment_tail_clock_and_keyboard(self):
        facts = harness.parse_facts(self.facts.output)
        self.assertEqual(facts["tail"], "Facts  please")
        self.assertEqual(facts["env.ORVANE_PROBE"], "Hello World")
        self.assertEqual(facts["env.orvane_probe"], "Hello World")
        self.assertEqual(facts["env.ORVANE"], "x")  # not ORVANE_PROBE's value
        self.assertEqual(facts["env.ORVANE_ABSENT"], "(unset)")
        self.assertEqual(facts["env.ORVANE_PROBE_in_4"], "(too long)")
        # DOSBox starts the BIOS clock at the host's local time.
        midnight = self.started.replace(hour=0, minute=0, second=0, microsecond=0)
        seconds = (self.started - midnight).total_seconds()
        self.assertLess(abs(int(facts["ticks"]) / 18.2065 - seconds), 30)
        self.assertEqual(facts["key"], "0")
        self.assertEqual(facts["int25.carry"], "0")
        self.assertEqual(facts["int99.carry"], "1")
        self.assertEqual(facts["flush"], "done")

    def test_xms_block_copied_in_and_out_and_given_back(self):
        # DOSBox's own XMS driver, as HIMEM.SYS: BF and HF take their
        # batches there; a call that went astray would leave them the
        # conventional memory without a word.
        facts = harness.parse_facts(self.facts.output)
        self.assertGreaterEqual(int(facts["xms.largest_kb"]), 4096)
        self.assertEqual(facts["xms.copy"], "ok")
        self.assertEqual(facts["xms.freed"], "1")
        self.assertEqual(facts["xms.largest_kb_after"], facts["xms.largest_kb"])

    def test_file_calls_on_drive_c(self):
        self.assertEqual(self.files.exit_code, 0, self.files.output)
        facts = harness.parse_facts(self.files.output)
        self.assertEqual(facts["files.size"], "70000")
        self.assertEqual(facts["files.seek"], str(65536 + 100))
        self.assertEqual(facts["files.readback"], "ok")
        self.assertEqual(facts["files.content"], "ok")
        self.assertEqual(facts["files.open_old_name"], "error 2")
        self.assertEqual(facts["files.delete_again"], "error 2")
        self.assertEqual(harness.list_files(self.c), ["PROBE3.TMP"])
        self.assertEqual(harness.read_file(self.c, "PROBE3.TMP"), b"Left by PROBE.COM\r\n")
        clean, report = harness.fsck(self.c)
        self.assertTrue(clean, report)

    def test_too_little_memory_stops_before_the_program_runs(self):
        self.assertIn("Not enough memory.", self.cramped.output)
        self.assertNotIn("tail=", self.cramped.output)

    def test_exit_codes_reach_the_batch_file(self):
        self.assertEqual(self.exit.exit_code, 201)
        self.assertEqual(self.exit.output, "")
        self.assertEqual(self.usage.exit_code, 1)
        self.assertIn("usage: PROBE", self.usage.output)


class RawDisks(unittest.TestCase):
    """Two disks without file systems, filled with PROBE's pattern: 80h of
    20 cylinders, 16 heads, 63 sectors; 81h of 300 cylinders (past the 256
    that CH holds), 4 heads and 17 sectors a track."""

    @classmethod
    def setUpClass(cls):
        probe = harness.program("PROBE.COM")
        cls.temp = tempfile.TemporaryDirectory()
        folder = pathlib.Path(cls.temp.name)
        cls.a = harness.make_raw_disk(folder / "a.img", 20, 16, 63, bios_index=0)
        cls.b = harness.make_raw_disk(folder / "b.img", 300, 4, 17, bios_index=1)
        cls.cylinder_256 = 256 * 4 * 17
        last = cls.b.sectors
        stamp(cls.a, 0, 2000, 1)
        stamp(cls.b, cls.cylinder_256 - 500, 1000, 1)
        stamp(cls.b, last - 300, 300, 1)
        stamp(cls.b, 1000, 400, 1)
        w1, w2 = cls.cylinder_256 - 100, 1100
        cls.written = [(w1, 200), (w2, 200)]
        # LOADFIX -32 loads PROBE 32 KB higher: for one of the two runs of
        # a command the buffer holds the 64 KB physical boundary. (LOADFIX
        # itself sets the exit code.)
        commands = [
            "PROBE VERIFY 80 0 2000 1",
            "LOADFIX -32 PROBE VERIFY 80 0 2000 1",
            f"PROBE VERIFY 81 {cls.cylinder_256 - 500} 1000 1",
            f"PROBE VERIFY 81 {last - 300} 300 1",
            f"PROBE VERIFY 81 {last - 1} 2 1",
            f"PROBE WRITE 81 {w1} 200 2",
            f"LOADFIX -32 PROBE WRITE 81 {w2} 200 2",
            f"PROBE VERIFY 81 {w1 - 1} 1 1",
            f"LOADFIX -32 PROBE VERIFY 81 {w2} 200 2",
            "PROBE",
            "PROBE READ 80 0 2000",
            f"PROBE REWRITE 80 0 {cls.a.sectors}",
            f"LOADFIX -32 PROBE REWRITE 80 0 {cls.a.sectors}",
            f"PROBE READ 81 {last - 10} 20",
        ]
        cls.a_before = cls.digest_and_time(cls.a)
        cls.results = dict(zip(commands, harness.run_dosbox([cls.a, cls.b], commands,
                                                            programs=[probe])))
        cls.commands = commands

    @classmethod
    def tearDownClass(cls):
        cls.temp.cleanup()

    @staticmethod
    def digest_and_time(disk):
        with open(disk.path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest(), os.stat(disk.path).st_mtime_ns

    def result(self, index):
        return self.results[self.commands[index]]

    def test_reads_return_what_the_images_hold(self):
        for index in (0, 1, 2, 3):
            result = self.result(index)
            self.assertEqual(result.exit_code, 0, result.output)
            self.assertEqual(harness.parse_facts(result.output)["verify"], "ok")
        facts = harness.parse_facts(self.result(9).output)
        self.assertEqual(facts["disk80.sectors"], str(self.a.sectors))
        self.assertEqual(facts["disk81.sectors"], str(self.b.sectors))
        self.assertEqual(facts["disk81.signature"], "0000")

    def test_sectors_across_the_64k_boundary_go_through_the_bounce_buffer(self):
        for pair in ((0, 1), (5, 6)):
            runs = [harness.parse_facts(self.result(i).output) for i in pair]
            prefix = "verify" if pair[0] == 0 else "write"
            # The buffer is larger than the 32 KB between the two load
            # addresses: the boundary lies in it for one of them at least.
            self.assertIn("1", [r[f"{prefix}.boundary_inside"] for r in runs])
            inside = next(r for r in runs if r[f"{prefix}.boundary_inside"] == "1")
            self.assertGreater(int(inside[f"{prefix}.straddled"]), 0)
            self.assertGreater(int(inside[f"{prefix}.bounced"]), 0)
        # Among the reads, some split exactly at the boundary, with no bounce.
        inside = [harness.parse_facts(self.result(i).output) for i in (0, 1)]
        inside = next(r for r in inside if r["verify.boundary_inside"] == "1")
        self.assertLess(int(inside["verify.bounced"]), int(inside["verify.straddled"]))

    def test_writes_land_on_their_sectors_and_no_others(self):
        for index in (5, 6, 7, 8):
            result = self.result(index)
            self.assertEqual(result.exit_code, 0, result.output)
        for first, count in self.written:
            self.assertEqual(self.b.read_sectors(first - 1, 1), pattern_sector(first - 1, 1))
            for lba in range(first, first + count):
                self.assertEqual(self.b.read_sectors(lba, 1), pattern_sector(lba, 2), lba)
            self.assertEqual(self.b.read_sectors(first + count, 1),
                             pattern_sector(first + count, 1))

    def test_a_read_past_the_end_names_the_first_missing_sector(self):
        result = self.result(4)
        self.assertEqual(result.exit_code, 4)
        self.assertEqual(harness.parse_facts(result.output)["verify"],
                         f"fault 1 where {self.b.sectors} detail 1")

    def test_timed_reads_and_rewrites_leave_the_disk_as_it_was(self):
        read = self.result(10)
        self.assertEqual(read.exit_code, 0, read.output)
        self.assertEqual(harness.parse_facts(read.output)["read.sectors"], "2000")
        for index in (11, 12):
            result = self.result(index)
            self.assertEqual(result.exit_code, 0, result.output)
            facts = harness.parse_facts(result.output)
            self.assertEqual(facts["rewrite.sectors"], str(self.a.sectors))
            self.assertIn("rewrite.tenths", facts)
        digest, written = self.digest_and_time(self.a)
        self.assertEqual(digest, self.a_before[0])
        self.assertNotEqual(written, self.a_before[1])  # written, not only read
        past_end = self.result(13)
        self.assertEqual(past_end.exit_code, 4)
        self.assertEqual(harness.parse_facts(past_end.output)["read"],
                         f"fault 1 where {self.b.sectors} detail 1")


if __name__ == "__main__":
    unittest.main()

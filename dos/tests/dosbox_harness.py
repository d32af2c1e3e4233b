"""Disk images and headless DOSBox runs for the tests of the DOS programs.

Standard library only, plus the mtools, dosfstools and dosbox commands.
Disks have 512-byte sectors and a CHS geometry of `heads` heads and
`sectors_per_track` sectors a track; a partitioned disk has an MBR with
one FAT partition from sector 63 to the end of the disk.
"""

import dataclasses
import os
import pathlib
import shutil
import struct
import subprocess
import tempfile

SECTOR = 512
PARTITION_START = 63

# The folder of the dos preset's build (BF.COM, HF.COM, PROBE.COM).
DOS_BUILD_DIR = pathlib.Path(
    os.environ.get("ORVANE_DOS_BUILD_DIR",
                   pathlib.Path(__file__).resolve().parents[2] / "build" / "dos"))


class MissingProgram(AssertionError):
    """A .COM the test needs has not been built."""


def program(name):
    """The path of build/dos/NAME; fails clearly when it is not there."""
    path = DOS_BUILD_DIR / name
    if not path.is_file():
        raise MissingProgram(
            f"{path} is missing: build the dos preset first "
            "(cmake --preset dos && cmake --build --preset dos)")
    return path


class SectorAccess:
    """The sectors of a disk image file at `path` and its partition at
    `partition_offset` (bytes), for mtools."""

    def mtools_target(self):
        return f"{self.path}@@{self.partition_offset}"

    def read_sectors(self, lba, count):
        with open(self.path, "rb") as f:
            f.seek(lba * SECTOR)
            return f.read(count * SECTOR)

    def write_sectors(self, lba, data):
        assert len(data) % SECTOR == 0
        with open(self.path, "r+b") as f:
            f.seek(lba * SECTOR)
            f.write(data)


@dataclasses.dataclass
class Disk(SectorAccess):
    """A disk image file and how DOSBox is to mount it."""
    path: pathlib.Path
    cylinders: int
    heads: int = 16
    sectors_per_track: int = 63
    # A DOS drive letter for a disk with a FAT12/16 partition; None mounts
    # the disk as a BIOS disk only. DOSBox makes C: BIOS disk 80h and D: 81h.
    letter: str | None = None
    # Which BIOS disk a disk without a letter is: 0 for 80h, 1 for 81h.
    bios_index: int = 0

    @property
    def sectors(self):
        return self.cylinders * self.heads * self.sectors_per_track

    @property
    def partition_offset(self):
        return PARTITION_START * SECTOR

    @property
    def partition_sectors(self):
        return self.sectors - PARTITION_START


def chs(lba, heads, sectors_per_track):
    """The 3-byte CHS field of a partition entry; past cylinder 1023 it
    holds the largest address, as partitioning programs write it."""
    cylinder, rest = divmod(lba, heads * sectors_per_track)
    head, sector = divmod(rest, sectors_per_track)
    if cylinder > 1023:
        cylinder, head, sector = 1023, heads - 1, sectors_per_track - 1
    sector += 1
    return bytes([head, sector | ((cylinder >> 2) & 0xC0), cylinder & 0xFF])


def partition_entry(start, count, kind, heads, sectors_per_track, active=True):
    """A 16-byte MBR partition entry."""
    return (bytes([0x80 if active else 0x00]) + chs(start, heads, sectors_per_track) +
            bytes([kind]) + chs(start + count - 1, heads, sectors_per_track) +
            struct.pack("<II", start, count))


def make_raw_disk(path, cylinders, heads=16, sectors_per_track=63, bios_index=0):
    """A disk of zeros (sparse), without an MBR, for the BIOS only."""
    disk = Disk(pathlib.Path(path), cylinders, heads, sectors_per_track, None, bios_index)
    with open(disk.path, "wb") as f:
        f.truncate(disk.sectors * SECTOR)
    return disk


def make_fat_disk(path, cylinders, heads=16, letter="C", serial=0x1234ABCD, label="ORVANE",
                  kind=0x06, bios_index=0):
    """A disk with an MBR and one active FAT partition from sector 63 to
    the end, formatted by mformat (FAT12 or FAT16 by its size)."""
    disk = make_raw_disk(path, cylinders, heads, 63, bios_index)
    disk.letter = letter
    mbr = bytearray(SECTOR)
    mbr[446:462] = partition_entry(PARTITION_START, disk.partition_sectors, kind, heads, 63)
    mbr[510:512] = b"\x55\xAA"
    disk.write_sectors(0, bytes(mbr))
    mtools("mformat", "-i", disk.mtools_target(), "-T", str(disk.partition_sectors), "-h",
            str(heads), "-s", "63", "-H", str(PARTITION_START), "-N", f"{serial:08X}", "-v",
            label, "::")
    return disk


def boot_sector(disk):
    """The FAT12/16 boot sector's layout fields, and the data clusters."""
    data = disk.read_sectors(PARTITION_START, 1)
    bps, spc, reserved, fats, root_entries, total16, _, spf = struct.unpack_from(
        "<HBHBHHBH", data, 0x0B)
    total = total16 or struct.unpack_from("<I", data, 0x20)[0]
    first_data = reserved + fats * spf + (root_entries * 32 + bps - 1) // bps
    return {"bytes_per_sector": bps, "sectors_per_cluster": spc, "reserved_sectors": reserved,
            "fat_count": fats, "sectors_per_fat": spf, "first_data_sector": first_data,
            "clusters": (total - first_data) // spc,
            "serial": struct.unpack_from("<I", data, 0x27)[0]}


def mtools(*command, check=True):
    """Runs an mtools command (mmd, mdel, ...) with the settings our images
    need; give the partition as `-i disk.mtools_target()`."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", MTOOLS_NO_VFAT="1")
    return subprocess.run(command, env=env, check=check, capture_output=True, text=True)


_mtools = mtools


def copy_in(disk, host_file, dos_name):
    """Copies a host file into the partition (dos_name like "DIR/FILE.EXT")."""
    mtools("mcopy", "-o", "-i", disk.mtools_target(), str(host_file), f"::{dos_name}")


def copy_out(disk, dos_name, host_file):
    mtools("mcopy", "-o", "-i", disk.mtools_target(), f"::{dos_name}", str(host_file))


def read_file(disk, dos_name):
    """A file's bytes from the partition, or None when it is not there."""
    result = subprocess.run(["mtype", "-i", disk.mtools_target(), f"::{dos_name}"],
                            env=dict(os.environ, MTOOLS_SKIP_CHECK="1"), capture_output=True)
    return result.stdout if result.returncode == 0 else None


def list_files(disk, folder=""):
    """The names in a folder of the partition, in capitals."""
    result = mtools("mdir", "-b", "-i", disk.mtools_target(), f"::{folder}", check=False)
    names = []
    for line in result.stdout.splitlines():
        line = line.strip()
        if line:
            names.append(line.rsplit("/", 1)[-1].upper())
    return names


def set_attributes(disk, dos_name, flags):
    """mattrib flags such as "+r +h"."""
    mtools("mattrib", *flags.split(), "-i", disk.mtools_target(), f"::{dos_name}")


def sparse_copy(source, offset, target):
    """Copies `source` from byte `offset` to its end into the new file
    `target`, holes staying holes (SEEK_DATA and SEEK_HOLE), so that a
    sparse 40 GB disk costs only the sectors it holds."""
    with open(source, "rb") as src, open(target, "wb") as dst:
        end = os.fstat(src.fileno()).st_size
        dst.truncate(end - offset)
        at = offset
        while at < end:
            try:
                data = os.lseek(src.fileno(), at, os.SEEK_DATA)
            except OSError:  # ENXIO: nothing but a hole from `at` on
                break
            at = os.lseek(src.fileno(), data, os.SEEK_HOLE)
            while data < at:
                data += os.copy_file_range(src.fileno(), dst.fileno(), at - data, data,
                                           data - offset)


def fsck(disk):
    """fsck.fat -n on the partition (a sparse copy of it from its first
    sector to the disk's end); (clean, its output)."""
    with tempfile.TemporaryDirectory(prefix="orvane-fsck-") as temp:
        copy = pathlib.Path(temp) / "partition.img"
        sparse_copy(disk.path, disk.partition_offset, copy)
        result = subprocess.run(["fsck.fat", "-n", str(copy)], capture_output=True, text=True)
    return result.returncode == 0, result.stdout + result.stderr


@dataclasses.dataclass
class Result:
    output: str      # what the program wrote to standard output, CR LF made LF
    exit_code: int   # its exit code, read back with IF ERRORLEVEL


class DosBoxError(AssertionError):
    pass


def run_dosbox(disks, commands, environment=None, programs=(), host_letter="E", timeout=60,
               current_drive=None):
    """Runs `commands` (DOS command lines) one after the other in a headless
    DOSBox with `disks` mounted, from a host folder mounted as `host_letter`
    that holds `programs` (host paths). Each command's standard output goes
    to a file; returns a Result per command. With `current_drive` (such as
    "C") the commands run from that drive, the programs found through PATH,
    as C:\AUTOEXEC.BAT runs them."""
    with tempfile.TemporaryDirectory(prefix="orvane-dosbox-") as temp:
        work = pathlib.Path(temp) / "work"
        work.mkdir()
        for path in programs:
            shutil.copy(path, work / pathlib.Path(path).name.upper())

        host = f"{host_letter}:\\"
        batch = [f"PATH {host}", f"{current_drive}:"] if current_drive else []
        for i, command in enumerate(commands):
            batch.append(f"{command} > {host}OUT{i}.TXT")
            # ERRORLEVEL n is true for n and above, so the first true test
            # from the top names the code. (DOSBox creates a redirection's
            # file even when the IF is false: hence GOTO.)
            batch += [f"IF ERRORLEVEL {n} GOTO R{i}_{n}" for n in range(255, 0, -1)]
            for n in range(256):
                batch += [f":R{i}_{n}", f"ECHO {n} > {host}RC{i}.TXT", f"GOTO N{i}"]
            batch.append(f":N{i}")
        batch.append("EXIT")
        (work / "RUN.BAT").write_bytes(("\r\n".join(batch) + "\r\n").encode("ascii"))

        autoexec = []
        for disk in disks:
            geometry = f"-size 512,{disk.sectors_per_track},{disk.heads},{disk.cylinders}"
            if disk.letter:
                autoexec.append(f"imgmount {disk.letter.lower()} {disk.path} {geometry} -t hdd")
            else:
                autoexec.append(f"imgmount {2 + disk.bios_index} {disk.path} {geometry} -t hdd "
                                "-fs none")
        autoexec.append(f"mount {host_letter.lower()} {work}")
        for name, value in (environment or {}).items():
            autoexec.append(f"set {name}={value}")
        autoexec += [f"{host_letter.lower()}:", f"{host}RUN.BAT", "exit"]

        config = pathlib.Path(temp) / "dosbox.conf"
        config.write_text("\n".join([
            "[sdl]", "fullscreen=false", "output=surface",
            "[dosbox]", "memsize=16", "machine=svga_s3",
            "[cpu]", "core=dynamic", "cycles=max",
            "[mixer]", "nosound=true",
            "[speaker]", "pcspeaker=false", "tandy=off", "disney=false",
            "[sblaster]", "sbtype=none",
            "[gus]", "gus=false",
            "[midi]", "mpu401=none", "mididevice=none",
            "[dos]", "xms=true", "ems=true", "umb=true",
            "[autoexec]", *autoexec, ""]))

        env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy", HOME=temp)
        try:
            run = subprocess.run(["dosbox", "-conf", str(config), "-noconsole"], env=env,
                                 capture_output=True, text=True, timeout=timeout, cwd=temp)
        except subprocess.TimeoutExpired as e:
            raise DosBoxError(f"DOSBox did not finish within {timeout} s: {commands}") from e

        results = []
        for i, command in enumerate(commands):
            out, rc = work / f"OUT{i}.TXT", work / f"RC{i}.TXT"
            if not rc.exists():
                raise DosBoxError(f"{command!r} did not run; DOSBox said:\n{run.stdout}\n"
                                  f"{run.stderr}")
            text = out.read_bytes().decode("cp437") if out.exists() else ""
            results.append(Result(text.replace("\r\n", "\n"), int(rc.read_text().strip())))
        return results


def parse_facts(output):
    """"key=value" lines into a dict (the first value of a repeated key)."""
    facts = {}
    for line in output.splitlines():
        key, sep, value = line.partition("=")
        if sep and key not in facts:
            facts[key] = value
    return facts


def free_xms_kb(mem_output):
    """The free extended memory (KB) that DOSBox's MEM command reports; 0
    where it names none (it leaves the line out when none is free)."""
    for line in mem_output.splitlines():
        if "free extended memory" in line:
            return int(line.split()[0])
    return 0


def free_bytes(disk):
    """The free bytes of the partition, as mdir counts them."""
    result = mtools("mdir", "-i", disk.mtools_target(), "::")
    for line in result.stdout.splitlines():
        if "bytes free" in line:
            return int("".join(c for c in line if c.isdigit()))
    raise AssertionError(f"mdir says no free space:\n{result.stdout}")

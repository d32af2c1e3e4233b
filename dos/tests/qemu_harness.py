"""QEMU runs of the DOS programs on a real BIOS (SeaBIOS) and a real DOS
kernel (FreeDOS, booted from the floppy in fixtures/).

Standard library only, plus the mtools, dosfstools, qemu-system-x86 and
ImageMagick (convert) commands.

A machine has the FreeDOS floppy as A: and up to four IDE hard disks: the
first FAT partition of BIOS disk 80h is DOS's drive C:, that of 81h D:.
Each run boots a fresh copy of the floppy, whose AUTOEXEC.BAT sets the
run's environment variables and then runs the run's commands (by default
`CALL C:\\AUTOEXEC.BAT`, the job's own batch file as the Windows side
writes it). When they return, the batch prints their exit code and
A:\\RESET.COM resets the machine. QEMU pauses on any reset (a program's
own restart included) so that the last screen can still be read; the run
then ends.

Hard disks are sparse files: a 40 GB disk costs what its files hold.
"""

import contextlib
import dataclasses
import hashlib
import os
import pathlib
import re
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

import dosbox_harness
import vga_screen
from dosbox_harness import SECTOR, MissingProgram, fsck, partition_entry, program  # noqa: F401

ROOT = pathlib.Path(__file__).resolve().parents[2]
FLOPPY = pathlib.Path(__file__).resolve().parent / "fixtures" / "freedos-boot.img"
FLOPPY_SHA256 = "2546c15c6cba5814f7a318b1ef4e24158504d73dd24ba6eb6133ffe87686a056"
# Where runs keep their last screens: build/dos-lab/<name>/.
LAB_DIR = pathlib.Path(os.environ.get("ORVANE_DOS_LAB_DIR", ROOT / "build" / "dos-lab"))

# MOV AL,FEh; OUT 64h,AL (the keyboard controller's reset line); JMP $.
RESET_COM = bytes.fromhex("b0fee664ebfe")
# What the floppy's batch prints when the run's commands have returned.
RETURNED = "ORVANE-LAB: returned, exit code "
# The sectors INT 13h AH=02h reaches at most (1024 cylinders of 255 heads
# and 63 sectors, 8.4 GB); past them only the extensions (AH=42h) read.
CHS_LIMIT = 1024 * 255 * 63

# FAT partition types.
FAT16 = 0x06
FAT16_LBA = 0x0E
FAT32 = 0x0B
FAT32_LBA = 0x0C


class LabError(AssertionError):
    """A run that could not be made or did not end as a run should."""


# --- Disks -------------------------------------------------------------


def bios_geometry(sectors):
    """The heads and sectors a track that SeaBIOS's INT 13h gives a QEMU IDE
    disk of `sectors` whose partition entries end on a cylinder boundary
    with more than 16 heads (as make_disk writes them; QEMU guesses its
    geometry from that end). Disks up to 528 MB keep 16 heads. QEMU makes
    the physical geometry 16 heads, 63 sectors a track; SeaBIOS translates
    it "large" (heads doubled, cylinders halved until 1024 or fewer) up to
    131,072 physical tracks, "LBA" above."""
    cylinders = min(sectors // (16 * 63), 16383)
    if cylinders <= 1024:
        return 16, 63
    if cylinders * 16 <= 131072:
        heads = 16
        while cylinders > 1024 and heads < 128:
            cylinders //= 2
            heads *= 2
        return heads, 63
    tracks = sectors // 63 // 1024
    return next((h for h in (16, 32, 64, 128) if tracks <= h), 255), 63


@dataclasses.dataclass
class Disk(dosbox_harness.SectorAccess):
    """A hard-disk image with an MBR and one FAT partition."""
    path: pathlib.Path
    sectors: int
    partition_start: int
    partition_sectors: int
    kind: int
    serial: int

    @property
    def partition_offset(self):
        return self.partition_start * SECTOR

    def digest(self):
        """A SHA-256 of every sector's bytes: of each 1 MB block that holds
        anything but zeros, found through the file's data extents (holes
        read as zeros)."""
        block = 1 << 20
        blocks = {}
        with open(self.path, "rb") as f:
            end = os.fstat(f.fileno()).st_size
            at = 0
            while at < end:
                try:
                    at = os.lseek(f.fileno(), at, os.SEEK_DATA)
                except OSError:  # no data past `at`
                    break
                stop = os.lseek(f.fileno(), at, os.SEEK_HOLE)
                for start in range(at // block * block, stop, block):
                    if start not in blocks:
                        f.seek(start)
                        data = f.read(block)
                        blocks[start] = (hashlib.sha256(data).digest()
                                         if data.count(0) != len(data) else None)
                at = stop
        digest = hashlib.sha256()
        for start, value in sorted(blocks.items()):
            if value:
                digest.update(start.to_bytes(8, "little") + value)
        return digest.hexdigest()

    def boot_sector(self):
        """The partition's FAT layout, read from its boot sector."""
        data = self.read_sectors(self.partition_start, 1)
        bps, spc, reserved, fats, root_entries, total16, _, spf16 = struct.unpack_from(
            "<HBHBHHBH", data, 0x0B)
        total = total16 or struct.unpack_from("<I", data, 0x20)[0]
        spf = spf16 or struct.unpack_from("<I", data, 0x24)[0]
        first_data = reserved + fats * spf + (root_entries * 32 + bps - 1) // bps
        return {"sectors_per_cluster": spc, "reserved_sectors": reserved, "fat_count": fats,
                "sectors_per_fat": spf, "first_data_sector": first_data, "total_sectors": total,
                "clusters": (total - first_data) // spc, "fat32": spf16 == 0}

    def cluster_lba(self, cluster):
        """The disk sector where a data cluster starts."""
        layout = self.boot_sector()
        return (self.partition_start + layout["first_data_sector"] +
                (cluster - 2) * layout["sectors_per_cluster"])


def make_disk(path, size, fat_bits=32, kind=None, start=63, serial=0x1234ABCD, label="ORVANE"):
    """A sparse disk of about `size` bytes (whole cylinders of SeaBIOS's
    geometry) with an MBR whose one active partition runs from sector
    `start` to the disk's end, formatted FAT16 or FAT32 (`fat_bits`) by
    mkfs.fat. mkfs.fat ends a file system on a whole track: with a start
    that is no multiple of 63 the file system is a little shorter than
    its partition."""
    path = pathlib.Path(path)
    heads, spt = bios_geometry(size // SECTOR)
    sectors = size // SECTOR // (heads * spt) * (heads * spt)
    assert bios_geometry(sectors) == (heads, spt)
    count = sectors - start
    kind = kind or (FAT32_LBA if fat_bits == 32 else FAT16_LBA)
    with open(path, "wb") as f:
        f.truncate(sectors * SECTOR)
    disk = Disk(path, sectors, start, count, kind, serial)
    mbr = bytearray(SECTOR)
    mbr[446:462] = partition_entry(start, count, kind, heads, spt)
    mbr[510:512] = b"\x55\xAA"
    disk.write_sectors(0, bytes(mbr))
    command = ["mkfs.fat", "-F", str(fat_bits), f"--offset={start}", "-h", str(start),
               "-g", f"{heads}/{spt}", "-i", f"{serial:08X}", "-n", label]
    run = subprocess.run(command + [str(path)], capture_output=True, text=True)
    if run.returncode != 0:
        raise LabError(f"mkfs.fat failed:\n{run.stdout}{run.stderr}")
    return disk


def copy_disk(disk, path):
    """A sparse copy of a disk; the copy's Disk."""
    dosbox_harness.sparse_copy(disk.path, 0, path)
    return dataclasses.replace(disk, path=pathlib.Path(path))


def mtools(*command, check=True):
    """An mtools command with long names (VFAT) and UTF-8 host names; give
    the partition as `-i disk.mtools_target()`."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")
    env.pop("MTOOLS_NO_VFAT", None)
    run = subprocess.run(command, env=env, capture_output=True)
    if check and run.returncode != 0:
        raise LabError(f"{' '.join(map(str, command))} failed:\n"
                       f"{run.stderr.decode(errors='replace')}")
    return run


def put(disk, name, data):
    """Writes a file (`name` like "/DIR/Long name.txt") into the partition."""
    with tempfile.NamedTemporaryFile() as host:
        host.write(data)
        host.flush()
        mtools("mcopy", "-o", "-i", disk.mtools_target(), host.name, f"::{name}")


def read(disk, name):
    """A file's bytes, or None when it is not there."""
    run = mtools("mtype", "-i", disk.mtools_target(), f"::{name}", check=False)
    return run.stdout if run.returncode == 0 else None


def make_folder(disk, name):
    mtools("mmd", "-i", disk.mtools_target(), f"::{name}")


def delete(disk, name):
    mtools("mdel", "-i", disk.mtools_target(), f"::{name}")


def names(disk, folder="/"):
    """The long names (or short ones) in a folder."""
    run = mtools("mdir", "-b", "-i", disk.mtools_target(), f"::{folder}")
    return [line.rsplit("/", 1)[-1] for line in run.stdout.decode().splitlines() if line]


def clusters(disk, name):
    """The clusters of a file, in order (from mshowfat)."""
    run = mtools("mshowfat", "-i", disk.mtools_target(), f"::{name}")
    result = []
    for first, _, last in re.findall(r"(\d+)(-(\d+))?", run.stdout.decode().split("<", 1)[1]):
        result += range(int(first), int(last or first) + 1)
    return result


def overwrite(disk, name, data):
    """Writes `data` over a file's first bytes in place, in its own
    clusters, as a program that rewrites part of a file does: the FAT and
    the directory stay as they are."""
    size = disk.boot_sector()["sectors_per_cluster"] * SECTOR
    data = data + bytes(-len(data) % SECTOR)
    for i, cluster in enumerate(clusters(disk, name)):
        piece = data[i * size:(i + 1) * size]
        if not piece:
            break
        disk.write_sectors(disk.cluster_lba(cluster), piece)


def allocate_from(disk, cluster):
    """Makes the next file written to a FAT32 partition start at `cluster`:
    the FSInfo sector's next-free hint, which mtools (and DOS) follow."""
    info = bytearray(disk.read_sectors(disk.partition_start + 1, 1))
    assert info[:4] == b"RRaA" and info[484:488] == b"rrAa", "no FSInfo sector"
    struct.pack_into("<I", info, 492, cluster - 1)
    disk.write_sectors(disk.partition_start + 1, bytes(info))


def set_short_name(disk, folder, long_name, short):
    """Gives the entry `long_name` in `folder` the 11-byte 8.3 name `short`
    and its long-name entries the matching checksum. A Chinese Windows makes
    short names in its OEM code page (GBK); mtools 4.0.32 cuts such names
    short. Looks in the folder's first cluster (or a FAT16 root) only."""
    assert len(short) == 11
    layout = disk.boot_sector()
    if folder == "/" and not layout["fat32"]:
        lba = disk.partition_start + layout["reserved_sectors"] + (
            layout["fat_count"] * layout["sectors_per_fat"])
        count = disk.partition_start + layout["first_data_sector"] - lba
    else:
        lba, count = disk.cluster_lba(clusters(disk, folder)[0]), layout["sectors_per_cluster"]
    entries = bytearray(disk.read_sectors(lba, count))
    pending = []
    for at in range(0, len(entries), 32):
        if entries[at] == 0:
            break
        if entries[at] == 0xE5:
            pending = []
        elif entries[at + 11] == 0x0F:
            pending.append(at)
        else:
            # The long name's pieces come last piece first.
            text = b"".join(entries[p + 1:p + 11] + entries[p + 14:p + 26] + entries[p + 28:p + 32]
                            for p in reversed(pending))
            if pending and text.decode("utf-16-le", "replace").split("\0")[0] == long_name:
                entries[at:at + 11] = short
                checksum = 0
                for byte in short:
                    checksum = (((checksum & 1) << 7) + (checksum >> 1) + byte) & 0xFF
                for p in pending:
                    entries[p + 13] = checksum
                disk.write_sectors(lba, bytes(entries))
                return
            pending = []
    raise LabError(f"{long_name} is not in {folder}")


def listing(disk):
    """Every folder and file of the partition: {path: sha256 of a file's
    bytes, or "<DIR>"}, with attributes, dates and times beside the names
    (from mdir), so that changes to any of them show."""
    result = {}
    with tempfile.TemporaryDirectory(prefix="orvane-lab-") as temp:
        mtools("mcopy", "-s", "-n", "-i", disk.mtools_target(), "::/*", temp)
        for path in sorted(pathlib.Path(temp).rglob("*")):
            key = "/" + path.relative_to(temp).as_posix()
            result[key] = "<DIR>" if path.is_dir() else hashlib.sha256(
                path.read_bytes()).hexdigest()
    attributes = mtools("mattrib", "-/", "-i", disk.mtools_target(), "::/").stdout.decode()
    details = mtools("mdir", "-/", "-a", "-i", disk.mtools_target(), "::/").stdout.decode()
    # The free bytes are no property of a file.
    details = "\n".join(line for line in details.splitlines() if "bytes free" not in line)
    return result, attributes, details


# --- The floppy --------------------------------------------------------

_floppy_checked = False


def floppy_copy(path):
    """A copy of the FreeDOS boot floppy, checked against its SHA-256."""
    global _floppy_checked
    if not _floppy_checked:
        digest = hashlib.sha256(FLOPPY.read_bytes()).hexdigest()
        if digest != FLOPPY_SHA256:
            raise LabError(f"{FLOPPY} has SHA-256 {digest}, not {FLOPPY_SHA256}")
        _floppy_checked = True
    shutil.copyfile(FLOPPY, path)
    os.chmod(path, 0o644)
    return path


def floppy_batch(commands, environment):
    """The floppy's AUTOEXEC.BAT for a run."""
    lines = ["@ECHO OFF"]
    lines += [f"SET {name}={value}" for name, value in (environment or {}).items()]
    lines += list(commands)
    # Only the line of the exact code prints.
    lines += [f"IF ERRORLEVEL {n} IF NOT ERRORLEVEL {n + 1} ECHO {RETURNED}{n}"
              for n in range(255)]
    lines += [f"IF ERRORLEVEL 255 ECHO {RETURNED}255", "A:\\RESET.COM"]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


# --- Faults ------------------------------------------------------------


@dataclasses.dataclass
class Fault:
    """An I/O error QEMU's blkdebug driver injects into a disk: reads (or
    writes) of sector `sector` fail with `errno` (5 = EIO); `once`: only
    the first time. `state`: only while the disk's rules are in that state
    (see Switch)."""
    sector: int
    write: bool = False
    errno: int = 5
    once: bool = False
    state: int | None = None

    def rules(self):
        return (f'[inject-error]\nevent = "{"write_aio" if self.write else "read_aio"}"\n'
                f'errno = "{self.errno}"\nsector = "{self.sector}"\n'
                f'once = "{"on" if self.once else "off"}"\n' +
                (f'state = "{self.state}"\n' if self.state is not None else ""))


@dataclasses.dataclass
class Switch:
    """Moves a disk's rules from state `state` (they start in 1) to
    `new_state` when the test calls Machine.switch_faults: a flush of the
    disk from QEMU's monitor, which neither SeaBIOS nor DOS asks for.

    blkdebug keeps the error rules of the last read (or write) whose state
    had any in force, so `new_state` gets rules that can never fire, for
    reads and for writes: its first request of each kind drops those of
    the old state."""
    state: int
    new_state: int

    def rules(self):
        never = 1 << 40  # a sector past any disk of the lab
        return (f'[set-state]\nevent = "flush_to_os"\nstate = "{self.state}"\n'
                f'new_state = "{self.new_state}"\n' +
                Fault(never, state=self.new_state).rules() +
                Fault(never, write=True, state=self.new_state).rules())


# --- Runs --------------------------------------------------------------


class Monitor:
    """QEMU's human monitor on a Unix socket."""

    _escape = re.compile(rb"\x1b\[[0-9;]*[A-Za-z]")

    def __init__(self, path, deadline):
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(str(path))
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise LabError(f"QEMU's monitor {path} did not open") from None
                time.sleep(0.02)
        self.sock.settimeout(30)
        self._read_prompt()

    def _read_prompt(self):
        data = b""
        while not data.endswith(b"(qemu) "):
            chunk = self.sock.recv(1 << 16)
            if not chunk:
                raise LabError("QEMU closed its monitor")
            data += chunk
        return data

    def command(self, text):
        """Sends a command; its answer without the echo of the line."""
        self.sock.sendall(text.encode("ascii") + b"\n")
        answer = self._escape.sub(b"", self._read_prompt()[:-len(b"(qemu) ")])
        return answer.split(b"\r\n", 1)[-1].decode("ascii", "replace").replace("\r\n", "\n")

    def close(self):
        self.sock.close()


def decode_screen(dump):
    """80x25 text from `xp /2000hx 0xb8000` lines (character + attribute)."""
    cells = [int(v, 16) for line in dump.splitlines() if ":" in line
             for v in line.split(":", 1)[1].split()]
    chars = bytes(cell & 0xFF for cell in cells[:2000]).decode("cp437")
    return "\n".join(chars[row * 80:row * 80 + 80].rstrip() for row in range(25))


def shows(screen, text):
    """True when the screen shows `text`, whitespace and line ends aside
    (a line longer than the screen wraps)."""
    return "".join(text.split()) in "".join(screen.split())


@dataclasses.dataclass
class Outcome:
    how: str               # "restarted", "returned" or "cut"
    exit_code: int | None  # when the commands returned
    screen: str            # the last screen's text
    folder: pathlib.Path   # where its screen.txt, screen.ppm and screen.png are

    def __str__(self):
        return f"{self.how} (screen in {self.folder}):\n{self.screen}"


class Machine:
    """One boot of the lab's PC. Use as a context manager:

        with Machine(folder, [c, d], name="backup") as m:
            m.wait_for(r"Writing +\\d+%")
            outcome = m.wait_end(120)
    """

    def __init__(self, folder, disks, name="run", commands=("CALL C:\\AUTOEXEC.BAT",),
                 environment=None, faults=None, floppy_files=(), timeout=300, memory=64,
                 chinese=False):
        self.folder = pathlib.Path(folder)
        self.name = name
        self.disks = list(disks)
        self.commands = list(commands)
        # BF and HF speak Chinese on a VGA unless told otherwise; the runs
        # that read the text screen tell them.
        self.environment = dict(environment or {})
        if not chinese:
            self.environment.setdefault("ORVANE_LANG", "EN")
        self.faults = faults or {}
        self.floppy_files = list(floppy_files)
        self.limit = timeout
        self.memory = memory
        self.process = None
        self.monitor = None
        self.outcome = None
        self.screens = self.folder / name
        self.temp = None

    # Starting and stopping.

    def __enter__(self):
        self.screens.mkdir(parents=True, exist_ok=True)
        for old in self.screens.glob("screen.*"):
            old.unlink()
        # A Unix socket's path must be short: it lives in /tmp.
        self.temp = tempfile.TemporaryDirectory(prefix="orvane-qemu-")
        temp = pathlib.Path(self.temp.name)
        self.floppy = floppy_copy(self.screens / "floppy.img")
        batch = temp / "AUTOEXEC.BAT"
        batch.write_bytes(floppy_batch(self.commands, self.environment))
        reset = temp / "RESET.COM"
        reset.write_bytes(RESET_COM)
        for path in [batch, reset, *self.floppy_files]:
            mtools("mcopy", "-o", "-i", str(self.floppy), str(path),
                   "::" + pathlib.Path(path).name.upper())
        command = ["qemu-system-i386", "-accel", "tcg", "-m", str(self.memory), "-display", "none",
                   "-vga", "std", "-nic", "none", "-action", "reboot=shutdown,shutdown=pause",
                   "-monitor", f"unix:{temp / 'monitor'},server,nowait",
                   "-drive", f"file={self.floppy},format=raw,if=floppy,index=0", "-boot", "a"]
        for index, disk in enumerate(self.disks):
            drive = f"file={disk.path},format=raw,if=ide,index={index}"
            faults = self.faults.get(index, [])
            if faults:
                rules = temp / f"faults{index}.conf"
                rules.write_text("".join(f.rules() for f in faults))
                # Every error goes to the guest: by default QEMU stops the
                # machine when a write fails with ENOSPC.
                drive = (f"file=blkdebug:{rules}:{disk.path},format=raw,if=ide,index={index},"
                         "rerror=report,werror=report")
            command += ["-drive", drive]
        self.started = time.monotonic()
        self.deadline = self.started + self.limit
        self.log = open(self.screens / "qemu.log", "wb")
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=self.log,
                                        stderr=subprocess.STDOUT)
        try:
            self.monitor = Monitor(temp / "monitor", time.monotonic() + 30)
        except BaseException:
            self._kill()
            raise
        return self

    def __exit__(self, *exc):
        self._kill()
        return False

    def _kill(self):
        if self.monitor:
            self.monitor.close()
            self.monitor = None
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()
        if self.temp:
            self.temp.cleanup()
            self.temp = None
        if getattr(self, "log", None):
            self.log.close()

    # Looking at the machine.

    def alive(self):
        return self.process.poll() is None

    def status(self):
        """QEMU's run state: "running", "paused (shutdown)", ..."""
        return self.monitor.command("info status").strip().removeprefix("VM status: ")

    def screen(self):
        """The text screen now (80x25)."""
        return decode_screen(self.monitor.command("xp /2000hx 0xb8000"))

    def keep_screen(self):
        """Saves the screen as screen.txt, screen.ppm and screen.png;
        returns its text."""
        text = self.screen()
        (self.screens / "screen.txt").write_text(text + "\n", encoding="utf-8")
        ppm = self.screens / "screen.ppm"
        self.monitor.command(f"screendump {ppm}")
        # The PPM stays for the tests that read the pixels.
        if ppm.exists():
            subprocess.run(["convert", str(ppm), str(self.screens / "screen.png")],
                           capture_output=True)
        return text

    def vga_screen(self):
        """The screen now as pixels (vga_screen.Screen): mode 12h's grid of
        cells."""
        ppm = pathlib.Path(self.temp.name) / "vga.ppm"
        self.monitor.command(f"screendump {ppm}")
        try:
            return vga_screen.read_ppm(ppm)
        finally:
            ppm.unlink(missing_ok=True)

    def wait_for_drawing(self, found, what, timeout=None):
        """Polls the pixel screen until `found(screen)` gives something
        true; that, and the screen. Fails as wait_for does."""
        until = self.deadline if timeout is None else min(self.deadline,
                                                          time.monotonic() + timeout)
        while True:
            if not self.alive():
                self.fail(f"QEMU ended before the screen showed {what}")
            screen = self.vga_screen()
            result = found(screen)
            if result:
                return result, screen
            if not self.status().startswith("running"):
                self.fail(f"the machine stopped before the screen showed {what}")
            if time.monotonic() > until:
                self.fail(f"the screen did not show {what} in time:\n"
                          f"{screen.dump_text(vga_screen.unifont())}")
            time.sleep(0.2)

    def wait_for_text(self, text, timeout=None):
        """Waits until the pixel screen shows `text` drawn in Unifont's
        glyphs; its (row, column) and the screen."""
        font = vga_screen.unifont()
        return self.wait_for_drawing(lambda screen: screen.find_text(font, text), repr(text),
                                     timeout)

    def fail(self, why):
        """Ends the run and raises, with its last screen kept."""
        screen = ""
        if self.alive():
            with contextlib.suppress(Exception):
                self.monitor.command("stop")
                screen = self.keep_screen()
        self._kill()
        log = (self.screens / "qemu.log").read_text(errors="replace")[-2000:]
        raise LabError(f"{self.name}: {why}\nlast screen (also in {self.screens}):\n{screen}" +
                       (f"\nQEMU said:\n{log}" if log else ""))

    def wait_for(self, pattern, timeout=None):
        """Polls the screen until `pattern` (a regex) matches; the match.
        Fails when the deadline passes or the machine stops first."""
        regex = re.compile(pattern)
        until = self.deadline if timeout is None else min(self.deadline,
                                                          time.monotonic() + timeout)
        while True:
            if not self.alive():
                self.fail(f"QEMU ended before the screen showed {pattern!r}")
            screen = self.screen()
            found = regex.search(screen)
            if found:
                return found
            if not self.status().startswith("running"):
                self.fail(f"the machine stopped before the screen showed {pattern!r}")
            if time.monotonic() > until:
                self.fail(f"the screen did not show {pattern!r} in time")
            time.sleep(0.1)

    def switch_faults(self, index):
        """Flushes IDE disk `index` (0 to 3) from the monitor: its Switch
        rules change state."""
        answer = self.monitor.command(f'qemu-io ide{index // 2}-hd{index % 2} "flush"').strip()
        if answer:
            self.fail(f"the flush of disk {index} failed: {answer}")

    def send_key(self, key):
        """A key press, in QEMU's names: "esc", "ret", "spc", "a"."""
        self.monitor.command(f"sendkey {key}")

    # Ending a run.

    def wait_end(self, timeout=None):
        """Waits until the machine resets (a program's restart, or RESET.COM
        after the commands returned); the Outcome. Fails on the deadline."""
        until = self.deadline if timeout is None else min(self.deadline,
                                                          time.monotonic() + timeout)
        while True:
            if not self.alive():
                self.fail(f"QEMU ended by itself with status {self.process.returncode}")
            status = self.status()
            if "shutdown" in status:
                break
            if not status.startswith("running"):
                self.fail(f"the machine stopped: {status}")
            if time.monotonic() > until:
                self.fail(f"no restart within {time.monotonic() - self.started:.0f} s")
            time.sleep(0.1)
        return self._end()

    def cut_power(self):
        """Stops the machine at once, as a power cut would; the Outcome."""
        self.monitor.command("stop")
        return self._end(cut=True)

    def _end(self, cut=False):
        screen = self.keep_screen()
        returned = re.search(re.escape(RETURNED) + r"(\d+)", screen)
        how = "cut" if cut else "returned" if returned else "restarted"
        code = int(returned.group(1)) if returned and not cut else None
        with contextlib.suppress(Exception):
            self.monitor.command("quit")
        self.process.wait(timeout=30)
        self._kill()
        self.outcome = Outcome(how, code, screen, self.screens)
        return self.outcome


def run(folder, disks, **options):
    """Boots, runs and waits for the end; the Outcome."""
    with Machine(folder, disks, **options) as machine:
        return machine.wait_end()

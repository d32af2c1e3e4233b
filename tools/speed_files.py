"""Drive C's files for tools/dos-speed and tools/dos-speed-lab: what a
Windows system partition holds, so that BF's images compress as theirs
would. Wine's 32-bit PE DLLs and some text (the system's licence texts and
C headers), taken in name order every so many, so that the same machine
always gives the same files, and the same sizes each time it is asked.
Random bytes would not do: they do not compress."""
import pathlib

MB = 1 << 20
DLL_DIR = pathlib.Path("/usr/lib/i386-linux-gnu/wine/i386-windows")
TEXT_DIRS = [pathlib.Path("/usr/share/common-licenses"), pathlib.Path("/usr/include")]
LARGEST = 2 * MB  # no one file makes up much of drive C


class NoFiles(Exception):
    pass


def _every_so_many(paths, budget):
    """Every stride-th of `paths` (stride: their total over `budget`), then
    those after them, until `budget` bytes are taken: [(path, bytes)]."""
    sizes = [(p, p.stat().st_size) for p in paths]
    sizes = [(p, n) for p, n in sizes if 0 < n <= LARGEST]
    stride = max(1, sum(n for _, n in sizes) // budget)
    taken, total = [], 0
    for first in range(stride):
        for path, size in sizes[first::stride]:
            if total + size > budget:
                return taken
            taken.append(path)
            total += size
    return taken


def drive_c_files(total=16 * MB, text_share=0.125):
    """[(folder, name, bytes)]: DLLs in DLL\\, text in TXT\\, about `total`
    bytes, `text_share` of them text. Raises NoFiles without Wine's DLLs."""
    dlls = sorted(p for p in DLL_DIR.glob("*.dll") if p.is_file()) if DLL_DIR.is_dir() else []
    if not dlls:
        raise NoFiles(f"no Wine DLLs in {DLL_DIR} (tools/setup-machine installs Wine)")
    texts = sorted(p for d in TEXT_DIRS if d.is_dir() for p in d.iterdir()
                   if p.is_file() and (d.name != "include" or p.suffix == ".h"))
    text_budget = int(total * text_share)
    files = []
    for folder, ext, paths in (("DLL", "DLL", _every_so_many(dlls, total - text_budget)),
                               ("TXT", "TXT", _every_so_many(texts, text_budget))):
        files += [(folder, f"F{i:03d}.{ext}", p.read_bytes()) for i, p in enumerate(paths)]
    return files

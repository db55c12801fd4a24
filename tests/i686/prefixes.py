"""The Wine prefixes the emulated machine's disk keeps ready, each in the state folder of its e2e
session: a 64-bit Windows (the 32-bit programs under WoW64, as users run them) and a 32-bit one.
The disk is made again when this changes."""

PREFIXES = {"win64": "/ombrix/state-win64", "win32": "/ombrix/state-win32"}

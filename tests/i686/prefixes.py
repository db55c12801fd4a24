"""The Wine prefixes the emulated machine's disk keeps ready, each in the state folder of its e2e
session: a 64-bit Windows (the 32-bit programs under WoW64, as users run them) and a 32-bit one;
and how they are made. The disk is made again when this file changes."""

PREFIXES = {"win64": "/ombrix/state-win64", "win32": "/ombrix/state-win32"}
# A first start of a 64-bit prefix in the busy machine has left its 32-bit half (syswow64)
# unfinished: every 32-bit program then fails to load its DLLs (status c0000135). An update of
# the prefix finishes it.
TRIES = 3


def finish(session, program) -> None:
    """Ends when `program` (an i686 one, with the argument `windows`) runs in the session's
    prefix; updates the prefix until it does."""
    for _ in range(TRIES):
        result = session.wine([program, "windows"], timeout=300)
        if result.code == 0:
            return
        print(f"prefix: an i686 program ended with {result.code}: {result.stderr[-600:]}; "
              "updating the prefix", flush=True)
        update = session.wine(["wineboot", "-u"], timeout=1200)
        print(f"prefix: wineboot -u ended with {update.code}", flush=True)
    raise RuntimeError(f"the prefix {session.prefix} runs no i686 program")

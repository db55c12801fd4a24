// plain_reader URL FILE: the yardstick for the updater's download (see reader/read_url.h).
// Exit code 0 when the body had the announced length, 1 on any failure, 2 on a wrong command
// line.
#include "bench/reader/read_url.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 2;
    }
    return ombrix::bench::ReadUrl(argv[1], argv[2]);
}

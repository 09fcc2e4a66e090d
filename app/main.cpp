// The program's entry point: hands the command line to the command-line front end.
#include <malloc.h>

#include "app/CommandLine.h"

namespace {

// Blocks of this size and more are mapped from the system on their own, and
// returned to it when freed. glibc would otherwise raise this bound to the
// largest block freed so far, and a large note's growing buffers (text, runs,
// archive tables), freed on worker threads, would then stay in the heap as
// holes: a note of 100,000 check boxes would peak a tenth higher.
constexpr int kSeparatelyMappedBlockBytes = 256 * 1024;

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, kSeparatelyMappedBlockBytes);
    return runCommandLine(argc, argv);
}

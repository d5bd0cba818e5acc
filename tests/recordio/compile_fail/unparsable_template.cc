// Must not compile: the report's templates are parsed by the compiler, and
// one that does not parse stops the build. Built only by the test
// recordio.writer_compile_fail, which expects the build to fail here.
#include "recordio/layout.h"

namespace {

constexpr recordio::layout fine{"('Row ',I2,1X,30F5.2)"};
constexpr recordio::layout broken{"('Row ',I2,1X,30Q5.2)"};

}  // namespace

recordio::layout_view use_fine() { return fine; }
recordio::layout_view use_broken() { return broken; }

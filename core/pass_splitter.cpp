#include "pass_splitter.h"

namespace kesta {

void PassSplitter::open(std::uint64_t first)
{
    passes_.emplace_back();
    passes_.back().first = first;
}

} // namespace kesta

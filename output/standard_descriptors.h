#pragma once

namespace kesta {

// Opens /dev/null on whichever of standard input, output and error a parent left
// closed, so that the first file or pipe the program opens cannot take descriptor 0,
// 1 or 2 and then receive what is meant for the terminal (a status line written to
// "standard error" would land in a signal pipe or an output file). Call first in main().
void EnsureStandardDescriptors();

} // namespace kesta

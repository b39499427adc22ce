// batch.h — `mirelune-cli batch`: cards for a whole contact list.
#pragma once

namespace mirelune {

// argv as main() got it, argv[1] being "batch". Returns the exit status.
int RunBatch(int argc, char** argv);

}  // namespace mirelune

// GNUstep's headers look for the blocks runtime here; Debian installs it as Block.h.
#include <Block.h>

// The image table of most fuzz_device inputs: a plain, a compressed and a checksummed
// image, the same code as this build's record in a few dozen exchanges.
#pragma once
#include "payload/device_record.h"

// Built on first use; ended by an entry whose data is null.
const ImageEntry* SmallImageTable();

// What the streaming loops read from and write to: the codec's own source
// and sink interfaces.
#pragma once

#include "codec/relc_driver.h"

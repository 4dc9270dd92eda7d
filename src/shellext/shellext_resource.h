// Resource ids of the shell extension module (also read by its .rc file,
// so nothing but #define lines here).
#pragma once

#define IDS_COMPRESS_ITEM 3
#define IDS_DECOMPRESS_ITEM 4
#define IDI_OVERLAY 105

#pragma once
// A driver library whose FT_ListDevices answers as a script says (the other entry points only let
// the binding load it), so that the binding meets a driver that counts one number of devices and
// lists another. A test links it and the binding dlopen()s the same file: one instance.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ListingScript {
    uint32_t counted;    /* what the count query answers */
    uint32_t present;    /* devices there when the names are asked for */
    uint32_t fillAtMost; /* buffers the driver fills at most */
    int64_t claimListed; /* what it stores as the number filled; -1: the true number */
    uint32_t listStatus; /* status of the name query */
} ListingScript;

typedef struct ListingSeen {
    uint32_t buffers; /* non-NULL entries before the NULL that ends the array */
    int terminated;   /* the array had its NULL entry within its allocation */
    uint32_t flags;   /* of the last name query */
} ListingSeen;

void ListingDriver_Set(ListingScript script);
ListingSeen ListingDriver_Seen(void);

#ifdef __cplusplus
}
#endif

/* Resource identifiers shared by Lumenix.rc and the launcher sources. */
#ifndef LUMENIX_RESOURCE_H
#define LUMENIX_RESOURCE_H

/* Application icon (RT_GROUP_ICON). */
#define IDI_LUMENIX       101

/* Splash screen artwork, a 32-bit RGBA PNG stored as RT_RCDATA. */
#define IDR_SPLASH_PNG    129

/* Product pack appended at build time (RT_RCDATA). */
#define IDR_PRODUCT_PACK  666

/* The bytes of all the pack's files, in decimal digits (RT_RCDATA), written by the pack build beside it. */
#define IDR_PRODUCT_PACK_SIZE  667

#endif /* LUMENIX_RESOURCE_H */

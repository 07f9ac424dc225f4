/* The setjmp-guarded side of the JPEG row decoder: plain C over libjpeg-turbo, so that libjpeg's
   error exit (a longjmp) only ever crosses C frames. Every call that can reach libjpeg's error
   exit sets its jump point first and returns a status instead. Callbacks into C++ (the byte
   reader and the stop test) always return normally before libjpeg runs again, so no C++ frame is
   live when a longjmp happens. All functions run on the one thread that decodes. */
#ifndef VISTREL_VIEW_JPEG_ROWS_SESSION_H
#define VISTREL_VIEW_JPEG_ROWS_SESSION_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Fills buffer with up to capacity bytes of the file; 0 when there are no more. Must not throw. */
typedef size_t (*JpegRowsReadFn)(void* context, unsigned char* buffer, size_t capacity);
/* Nonzero when the decode should be abandoned. Must not throw. */
typedef int (*JpegRowsStopFn)(void* context);
/* Told the count of rows written so far, top row first, after each batch. Must not throw. */
typedef void (*JpegRowsProgressFn)(void* context, int rowsDone);

typedef enum JpegRowsStatus {
  kJpegRowsOk = 0,
  kJpegRowsFailed = 1,    /* libjpeg gave up, or the file is of a kind not decoded here */
  kJpegRowsEndOfData = 2, /* the file ended before the last row */
  kJpegRowsStopped = 3    /* the stop test said so */
} JpegRowsStatus;

/* The output each decoded row gets. */
typedef enum JpegRowsColour {
  kJpegRowsBgr = 0,         /* 3 bytes a pixel: blue, green, red */
  kJpegRowsGrey = 1,        /* 1 byte a pixel */
  kJpegRowsCmyk = 2,        /* 4 bytes a pixel: cyan, magenta, yellow, black; 255 is full ink */
  kJpegRowsInvertedCmyk = 3 /* the same, 255 is no ink: as Adobe's programs write them (Adobe marker) */
} JpegRowsColour;

typedef struct JpegRowsSession JpegRowsSession;

/* Null when out of memory. The session keeps read and readContext until it is closed. */
JpegRowsSession* JpegRowsOpen(JpegRowsReadFn read, void* readContext);
/* Releases everything the session holds; null is allowed. */
void JpegRowsClose(JpegRowsSession* session);

/* Reads the markers up to the first scan and chooses the output: 8-bit YCbCr or RGB files give
   BGR rows, 8-bit greyscale files grey rows, 8-bit CMYK and YCCK files CMYK rows when takeCmyk is
   nonzero; every other kind fails. width and height get the frame header's size whenever one was
   read, a failed call included (0 otherwise). */
JpegRowsStatus JpegRowsReadHeader(JpegRowsSession* session, int takeCmyk, int* width, int* height,
                                  JpegRowsColour* colour);

/* After a successful JpegRowsReadHeader, before JpegRowsDecode: the rows come reduced by 2, 4 or
   8 in each direction (libjpeg's reduced inverse transforms), at the size width and height get. */
JpegRowsStatus JpegRowsScaleDown(JpegRowsSession* session, int denominator, int* width, int* height);

/* After a successful JpegRowsReadHeader: nonzero for a progressive file. */
int JpegRowsProgressive(JpegRowsSession* session);
/* Instead of JpegRowsDecode, for progressive files only: reads the scans until every component
   has its DC coefficients (usually the first scan alone) and writes the picture they give, as
   JpegRowsDecode would write the whole one. */
JpegRowsStatus JpegRowsDecodeFirstScans(JpegRowsSession* session, unsigned char* topRow, ptrdiff_t pitch,
                                        JpegRowsStopFn stop, void* stopContext, int* rowsDone);

/* Decodes every row, top row first, into topRow + y * pitch (pitch may be negative for bottom-up
   bitmaps; each row needs width * 3, width * 4 or width bytes). stop, when not null, is asked every few rows
   and between the scans of a progressive file. *rowsDone tells how many rows were written. */
JpegRowsStatus JpegRowsDecode(JpegRowsSession* session, unsigned char* topRow, ptrdiff_t pitch,
                              JpegRowsStopFn stop, void* stopContext, int* rowsDone);
/* Before JpegRowsDecode: progress (may be null) is called with each new count of rows written. */
void JpegRowsSetProgress(JpegRowsSession* session, JpegRowsProgressFn progress, void* progressContext);

#ifdef __cplusplus
}
#endif

#endif

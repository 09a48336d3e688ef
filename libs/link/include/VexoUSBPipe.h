/* USB pipe to the palmtop: a CDC-ACM tty, opened raw without setting a speed. */
#ifndef VEXO_USB_PIPE_H
#define VEXO_USB_PIPE_H

#include "VexoPipe.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a USB pipe (device node /dev/ttyACM0 unless SetPipeDevicePath names
 * another). Returns its handle (above 0), 0 when none could be made. */
int InitUSBPipe(void);

/* Opens the device node. Returns 0, or -1 when it cannot be opened now; the pipe
 * then tries again whenever the file client needs it. */
int OpenUSBPipe(int pipe);

/* Closes the device node; the pipe can be opened again. Returns 0, or -1 for an unknown pipe. */
int CloseUSBPipe(int pipe);

/* Closes and frees the pipe; the handle becomes invalid. Returns 0, or -1 for an unknown pipe. */
int UnInitUSBPipe(int pipe);

#ifdef __cplusplus
}
#endif

#endif

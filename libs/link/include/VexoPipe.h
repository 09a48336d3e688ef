/* Calls shared by the serial and the USB pipe. */
#ifndef VEXO_PIPE_H
#define VEXO_PIPE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Sets the device node that the pipe opens (for example "/dev/ttyUSB0", or a
 * pseudo-terminal). Call it after Init and before Open. Without it a serial
 * pipe opens /dev/ttyS(port-1) and a USB pipe /dev/ttyACM0. A null or empty
 * path restores the default. Returns 0, or -1 for an unknown pipe. */
int SetPipeDevicePath(int pipe, const char *path);

#ifdef __cplusplus
}
#endif

#endif

/* Serial pipe to the palmtop: a tty opened raw, 8N1, at a set speed. */
#ifndef VEXO_UART_PIPE_H
#define VEXO_UART_PIPE_H

#include "VexoPipe.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Creates a serial pipe. Returns its handle (above 0), 0 when none could be made. */
int InitUartPipe(void);

/* Line settings, used by the next Open: port 1..10 selects /dev/ttyS0../dev/ttyS9
 * (unless SetPipeDevicePath named a node), baud in bits per second (a rate
 * between standard ones falls to the standard one below it). Only 8 data bits,
 * no parity (0) and 1 stop bit are supported. Returns 0, or -1 for an unknown
 * pipe or other line settings. */
int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits);

/* Opens the device node. Returns 0, or -1 when it cannot be opened now; the pipe
 * then tries again whenever the file client needs it, so a device plugged in
 * later is found. */
int OpenUartPipe(int pipe);

/* Closes the device node; the pipe can be opened again. Returns 0, or -1 for an unknown pipe. */
int CloseUartPipe(int pipe);

/* Closes and frees the pipe; the handle becomes invalid. Returns 0, or -1 for an unknown pipe. */
int UnInitUartPipe(int pipe);

#ifdef __cplusplus
}
#endif

#endif

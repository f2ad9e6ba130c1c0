#pragma once

/* An emulated serial port for tests and benchmarks. A process linked with this library sees
 * one device path, plugged by emuport_plug(), as a real terminal: opening it opens the slave
 * side of a fresh pseudo-terminal (through a symlink at the path, so another process can
 * open it too), so termios and exclusive open are the kernel's own. The modem-line requests
 * TIOCMGET, TIOCMBIS, TIOCMBIC and TIOCMSET on a descriptor of that device act on emulated
 * lines behind which sits a converter model reached through callbacks; every other request,
 * and every other descriptor, goes to the system unchanged. */

#ifdef __cplusplus
extern "C" {
#endif

/* The device behind the emulated lines, in the line sense: 1 is asserted. */
struct emuport_lines {
    void (*set_rts)(void* context, int asserted);
    void (*set_dtr)(void* context, int asserted);
    int (*read_cts)(void* context);
    void* context;
};

/* Calls on descriptors of the plugged device since it was plugged or the counts were reset. */
struct emuport_counts {
    long sets;   /* TIOCMBIS, TIOCMBIC, TIOCMSET */
    long reads;  /* TIOCMGET */
    long others; /* every other ioctl request */
};

/* Creates the pseudo-terminal and the symlink at path (which must not exist). RTS and DTR
 * start asserted. 0 on success, -1 with errno. One device at a time. */
int emuport_plug(const char* path, const struct emuport_lines* lines);
/* The device is the terminal that path (a link, which must exist) leads to, opened by another
 * process, which may hand its descriptor over: every descriptor of that terminal in this
 * process has the emulated lines. A pull-out removes the link. 0 on success, -1 with errno. */
int emuport_adopt(const char* path, const struct emuport_lines* lines);
/* Removes the device: symlink, pseudo-terminal and callbacks. */
void emuport_unplug(void);

/* The adapter is pulled out at the n-th modem-line call from now (n >= 1): that call and
 * every later one fail with EIO, and the path disappears, until emuport_plug_back() brings
 * it back with RTS and DTR asserted, as after power-up. */
void emuport_fail_from(long n);
void emuport_plug_back(void);

/* The next n opens of the path fail with EACCES, as for a device node udev has not yet given
 * its permissions. */
void emuport_deny_opens(long n);

struct emuport_counts emuport_calls(void);
void emuport_reset_counts(void);
/* The emulated output lines as TIOCMGET reports them (TIOCM_RTS, TIOCM_DTR). */
int emuport_output_lines(void);

#ifdef __cplusplus
}
#endif

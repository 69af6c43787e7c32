/* as-user: runs a command as an unprivileged user inside the test guest.
 *
 *   as-user UID COMMAND [ARGS ...]
 *
 * Drops every supplementary group, then takes UID as group and user id and runs COMMAND. The
 * guest has no user database and busybox cannot change users by number, hence this helper.
 * Without root's capabilities the kernel lets a read-only open of a drive send only the SCSI
 * commands it deems safe for reading, which is the situation of a desktop user. */
#define _GNU_SOURCE
#include <grp.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: as-user UID COMMAND [ARGS ...]\n");
    return 2;
  }
  const uid_t id = (uid_t)strtoul(argv[1], NULL, 10);
  if (id == 0 || setgroups(0, NULL) != 0 || setgid(id) != 0 || setuid(id) != 0) {
    perror("as-user");
    return 126;
  }
  execvp(argv[2], argv + 2);
  perror("as-user: exec");
  return 127;
}

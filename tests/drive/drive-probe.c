/* drive-probe: a self-contained SG_IO check that runs inside the test guest before brindle-cli.
 *
 *   drive-probe DEVICE [COPY]
 *
 * Sends INQUIRY and TEST UNIT READY; when the unit is ready, also READ CAPACITY and, with COPY,
 * reads the whole disc with READ(10) (15 blocks a command) into the file COPY. Last, it sends a
 * READ(12) of block 0, which neither the firmware nor the kernel ever send: in QEMU's trace of
 * the drive it marks where the probe ends and the program under test begins. One line per
 * command on standard output, "probe <what> key=value ...", for the harness to judge. It tells
 * a broken harness (modules, devices, QEMU options) apart from a broken brindle-cli, so it does
 * as little as it can and shares no code with the program under test. Exit status 0 when every
 * command it chose to send worked, 1 otherwise. Built static: the guest has no C library. */
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

enum { kBlock = 2048, kRun = 15, kTimeoutMs = 10000 };

struct Outcome {
  int ok; /* ioctl worked and status, host and driver status are all 0 */
  int status, host, driver, key, asc, ascq;
};

/* Sends one CDB; data flows from the device into buf (len bytes) unless len is 0. */
static struct Outcome Send(int fd, const unsigned char* cdb, int cdbLen, void* buf, unsigned len) {
  struct Outcome out = {0, -1, -1, -1, -1, -1, -1};
  unsigned char sense[32] = {0};
  sg_io_hdr_t io;
  memset(&io, 0, sizeof io);
  io.interface_id = 'S';
  io.dxfer_direction = len ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
  io.cmd_len = (unsigned char)cdbLen;
  io.cmdp = (unsigned char*)cdb;
  io.dxferp = buf;
  io.dxfer_len = len;
  io.sbp = sense;
  io.mx_sb_len = sizeof sense;
  io.timeout = kTimeoutMs;
  if (ioctl(fd, SG_IO, &io) < 0) {
    printf("probe sg_io-error errno=%d (%s)\n", errno, strerror(errno));
    return out;
  }
  out.status = io.status;
  out.host = io.host_status;
  out.driver = io.driver_status;
  if (io.sb_len_wr >= 14) {
    out.key = sense[2] & 0x0F;
    out.asc = sense[12];
    out.ascq = sense[13];
  }
  out.ok = io.status == 0 && io.host_status == 0 && io.driver_status == 0;
  return out;
}

static void Report(const char* what, struct Outcome o) {
  printf(
      "probe %s ok=%d status=0x%02x host=0x%02x driver=0x%02x key=0x%02x asc=0x%02x ascq=0x%02x\n",
      what, o.ok, o.status & 0xFF, o.host & 0xFF, o.driver & 0xFF, o.key & 0xFF, o.asc & 0xFF,
      o.ascq & 0xFF);
}

static void PutBigEndian32(unsigned char* p, unsigned v) {
  p[0] = (unsigned char)(v >> 24);
  p[1] = (unsigned char)(v >> 16);
  p[2] = (unsigned char)(v >> 8);
  p[3] = (unsigned char)v;
}

/* READ CAPACITY, then with a COPY path the whole disc into that file. 0 when all worked. */
static int Copy(int fd, const char* path) {
  unsigned char capacity[8] = {0};
  const unsigned char capacityCdb[10] = {0x25};
  struct Outcome o = Send(fd, capacityCdb, 10, capacity, sizeof capacity);
  Report("read-capacity", o);
  if (!o.ok) return 1;
  unsigned long blocks =
      ((unsigned long)capacity[0] << 24 | capacity[1] << 16 | capacity[2] << 8 | capacity[3]) + 1;
  printf("probe capacity blocks=%lu\n", blocks);

  if (path) {
    FILE* copy = fopen(path, "wb");
    static unsigned char buf[kRun * kBlock];
    unsigned long lba = 0;
    for (; copy && lba < blocks; lba += kRun) {
      unsigned n = blocks - lba < kRun ? (unsigned)(blocks - lba) : kRun;
      unsigned char cdb[10] = {0x28, 0};
      PutBigEndian32(cdb + 2, (unsigned)lba);
      cdb[7] = (unsigned char)(n >> 8);
      cdb[8] = (unsigned char)n;
      o = Send(fd, cdb, 10, buf, n * kBlock);
      if (!o.ok) {
        printf("probe read-error lba=%lu\n", lba);
        Report("read10", o);
        break;
      }
      fwrite(buf, kBlock, n, copy);
    }
    int ok = copy && fclose(copy) == 0 && lba >= blocks;
    printf("probe copy ok=%d blocks=%lu\n", ok, lba < blocks ? lba : blocks);
    if (!ok) return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: drive-probe DEVICE [COPY]\n");
    return 2;
  }
  setvbuf(stdout, NULL, _IOLBF, 0);
  /* Without O_NONBLOCK the open fails with ENOMEDIUM on an empty drive. */
  int fd = open(argv[1], O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    printf("probe open-error errno=%d (%s)\n", errno, strerror(errno));
    return 1;
  }
  int failed = 0;

  unsigned char inquiry[96] = {0};
  const unsigned char inquiryCdb[6] = {0x12, 0, 0, 0, sizeof inquiry, 0};
  struct Outcome o = Send(fd, inquiryCdb, 6, inquiry, sizeof inquiry);
  Report("inquiry", o);
  if (o.ok)
    printf("probe identity type=%d vendor=[%.8s] product=[%.16s]\n", inquiry[0] & 0x1F,
           (const char*)inquiry + 8, (const char*)inquiry + 16);
  failed |= !o.ok;

  const unsigned char turCdb[6] = {0};
  struct Outcome ready = Send(fd, turCdb, 6, NULL, 0);
  Report("test-unit-ready", ready);
  if (ready.ok) failed |= Copy(fd, argc == 3 ? argv[2] : NULL);

  /* One block: QEMU's ATAPI drive never completes a READ(12) of zero blocks. */
  static unsigned char block[kBlock];
  const unsigned char markerCdb[12] = {0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
  Report("marker", Send(fd, markerCdb, 12, block, sizeof block));
  close(fd);
  return failed;
}

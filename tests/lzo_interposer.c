/* A stand-in for another library in the host that defines the LZO entry
   points. It is loaded ahead of maskjpeg; if maskjpeg's calls reached it,
   every decode would fail. */
int lzo1x_decompress_safe(const unsigned char *src, unsigned long src_len, unsigned char *dst,
                          unsigned long *dst_len, void *wrkmem) {
  (void)src;
  (void)src_len;
  (void)dst;
  (void)dst_len;
  (void)wrkmem;
  return -1;
}

int __lzo_init_v2(unsigned v, int a, int b, int c, int d, int e, int f, int g, int h, int i) {
  (void)v;
  (void)a;
  (void)b;
  (void)c;
  (void)d;
  (void)e;
  (void)f;
  (void)g;
  (void)h;
  (void)i;
  return -1;
}

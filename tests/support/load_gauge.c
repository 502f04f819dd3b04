/* The Windows loader's view of a gauge, for the tests under wine:
 *   load_gauge GAUGE EXPORT|- OUTDIR FIRST|- ID...
 * loads FIRST, a module of the same preferred address, so that GAUGE must be
 * moved and its relocations applied; loads GAUGE as a program would (or,
 * with "-", as a data file: a 32-bit gauge in this 64-bit process), calls
 * EXPORT(5) and prints "answer N",
 * reads each bitmap ID through LoadImage and writes its pixels, top row first,
 * as 0x00RRGGBB words to OUTDIR/ID.rgb after "W H\n", prints "bitmap ID W H",
 * and prints MapFileAndCheckSum's "checksum HEADER COMPUTED". */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <imagehlp.h>

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const int asProgram = strcmp(argv[2], "-") != 0;
  if (strcmp(argv[4], "-") != 0 && !LoadLibraryA(argv[4])) {
    printf("first module not loaded %lu\n", GetLastError());
    return 1;
  }
  HMODULE module = asProgram ? LoadLibraryA(argv[1])
                             : LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    printf("load failed %lu\n", GetLastError());
    return 1;
  }
  if (asProgram) {
    typedef int (*Answer)(int);
    Answer answer = (Answer)(void*)GetProcAddress(module, argv[2]);
    if (!answer) {
      printf("no export %s\n", argv[2]);
      return 1;
    }
    printf("answer %d\n", answer(5));
  }
  HDC dc = GetDC(NULL);
  for (int i = 5; i < argc; ++i) {
    const int id = atoi(argv[i]);
    HBITMAP bitmap = (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION);
    BITMAP shape;
    if (!bitmap || !GetObjectA(bitmap, sizeof shape, &shape)) {
      printf("bitmap %d unreadable\n", id);
      continue;
    }
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight; /* top row first */
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    DWORD* pixels = malloc((size_t)shape.bmWidth * shape.bmHeight * 4);
    if (GetDIBits(dc, bitmap, 0, shape.bmHeight, pixels, &info, DIB_RGB_COLORS) != shape.bmHeight) {
      printf("bitmap %d pixels unreadable\n", id);
      continue;
    }
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%s\\%d.rgb", argv[3], id);
    FILE* out = fopen(name, "wb");
    fprintf(out, "%ld %ld\n", shape.bmWidth, shape.bmHeight);
    fwrite(pixels, 4, (size_t)shape.bmWidth * shape.bmHeight, out);
    fclose(out);
    printf("bitmap %d %ld %ld\n", id, shape.bmWidth, shape.bmHeight);
    free(pixels);
    DeleteObject(bitmap);
  }
  DWORD header = 0, computed = 0;
  if (MapFileAndCheckSumA(argv[1], &header, &computed) != CHECKSUM_SUCCESS) {
    printf("checksum unreadable\n");
    return 1;
  }
  printf("checksum %lu %lu\n", header, computed);
  return 0;
}

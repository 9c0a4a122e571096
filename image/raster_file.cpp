#include "image/raster_file.h"

CRasterFile::~CRasterFile() = default;

bool CRasterFile::PutC(unsigned char c) { return Write(&c, 1, 1) == 1; }

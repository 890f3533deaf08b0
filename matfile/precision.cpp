#include "precision.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "number_format.h"

const int PrecisionSizes[kPrecisionCount] = {8, 4, 4, 2, 2, 1};

namespace {

template <class Stored>
void widen(const void* src, double* dst, std::size_t n) {
  const unsigned char* p = static_cast<const unsigned char*>(src);
  for (std::size_t i = 0; i < n; ++i, p += sizeof(Stored)) {
    Stored v;
    std::memcpy(&v, p, sizeof v);
    dst[i] = static_cast<double>(v);
  }
}

template <class Stored, class Narrow>
void narrow(void* dst, const double* src, std::size_t n, Narrow toStored) {
  unsigned char* p = static_cast<unsigned char*>(dst);
  for (std::size_t i = 0; i < n; ++i, p += sizeof(Stored)) {
    const Stored v = toStored(src[i]);
    std::memcpy(p, &v, sizeof v);
  }
}

float toFloat(double x) {
  if (!(std::fabs(x) > FLT_MAX) || std::isinf(x)) return static_cast<float>(x);
  // Beyond the largest float by at least half its last place the rounded
  // value is the infinity; below that it is the largest float.
  const double halfway = double(FLT_MAX) + std::ldexp(1.0, 103);
  const float magnitude = std::fabs(x) >= halfway ? HUGE_VALF : FLT_MAX;
  return x < 0 ? -magnitude : magnitude;
}

// x truncated toward zero into 64 bits, clamped to that range; NaN is not
// passed here.
std::int64_t truncated(double x) {
  if (x >= 9223372036854775807.0) return INT64_MAX;
  if (x <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<std::int64_t>(x);
}

std::int32_t toInt32(double x) {
  if (std::isnan(x)) return INT32_MAX;
  const std::int64_t v = truncated(x);
  return static_cast<std::int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
}

std::uint16_t toLow16(double x) { return std::isnan(x) ? 0xffffu : static_cast<std::uint16_t>(truncated(x)); }

std::uint8_t toLow8(double x) { return std::isnan(x) ? 0xffu : static_cast<std::uint8_t>(truncated(x)); }

}  // namespace

int ConvertArrayNumericFormat(void* data, std::size_t count, int from, int to, int P) {
  switch (P) {
    case kPrecisionDouble:
      return utDoubleConvert(from, to, data, count);
    case kPrecisionSingle:
      return utSingleConvert(from, to, data, count);
    case kPrecisionInt32:
      utFourByteIntConvert(from, to, data, count);
      return 0;
    case kPrecisionInt16:
      utTwoByteIntConvert(from, to, data, count);
      return 0;
    case kPrecisionUInt16:
      utTwoByteUIntConvert(from, to, data, count);
      return 0;
    default:
      return 0;
  }
}

namespace {

// A new array of count doubles widened from the stored array, or null.
double* widenedArray(const void* stored, std::size_t count, int P) {
  double* wide = static_cast<double*>(mxCalloc(count, sizeof(double)));
  if (wide != nullptr) ConvertToDoubles(stored, wide, count, P);
  return wide;
}

// Whether every element is an integer that fits in some integer precision,
// with min and max updated over the elements.
bool integralRange(const double* data, std::size_t count, double& min, double& max) {
  for (std::size_t k = 0; k < count; ++k) {
    double whole;
    if (!utFinite(data[k]) || std::modf(data[k], &whole) != 0.0) return false;
    if (whole == 0.0 && std::signbit(whole)) return false;
    if (whole > max)
      max = whole;
    else if (whole < min)
      min = whole;
  }
  return true;
}

}  // namespace

void ConvertToDoubles(const void* src, double* dst, std::size_t n, int P) {
  switch (P) {
    case kPrecisionDouble:
      std::memcpy(dst, src, n * sizeof(double));
      break;
    case kPrecisionSingle:
      widen<float>(src, dst, n);
      break;
    case kPrecisionInt32:
      widen<std::int32_t>(src, dst, n);
      break;
    case kPrecisionInt16:
      widen<std::int16_t>(src, dst, n);
      break;
    case kPrecisionUInt16:
      widen<std::uint16_t>(src, dst, n);
      break;
    case kPrecisionUInt8:
      widen<std::uint8_t>(src, dst, n);
      break;
  }
}

void ConvertFromDoubles(void* dst, const double* src, std::size_t n, int P) {
  switch (P) {
    case kPrecisionDouble:
      std::memcpy(dst, src, n * sizeof(double));
      break;
    case kPrecisionSingle:
      narrow<float>(dst, src, n, toFloat);
      break;
    case kPrecisionInt32:
      narrow<std::int32_t>(dst, src, n, toInt32);
      break;
    case kPrecisionInt16:
    case kPrecisionUInt16:
      narrow<std::uint16_t>(dst, src, n, toLow16);
      break;
    case kPrecisionUInt8:
      narrow<std::uint8_t>(dst, src, n, toLow8);
      break;
  }
}

int ConvertMatrixNumericFormat(MxMatrix* x, int from, int to, int P) {
  const std::size_t count = std::size_t(mxGetNumEl(x));
  if (ConvertArrayNumericFormat(x->pr, count, from, to, P)) return 1;
  // The imaginary array takes the conversion that the real one accepted.
  if (x->pi != nullptr) ConvertArrayNumericFormat(x->pi, count, from, to, P);
  return 0;
}

int ConvertMatrixToDoubles(MxMatrix* x, int P) {
  if (P == kPrecisionDouble) return 0;
  const std::size_t count = std::size_t(mxGetNumEl(x));
  double* real = widenedArray(x->pr, count, P);
  double* imaginary = x->pi != nullptr ? widenedArray(x->pi, count, P) : nullptr;
  if (real == nullptr || (x->pi != nullptr && imaginary == nullptr)) {
    mxFree(real);
    mxFree(imaginary);
    return 1;
  }
  mxFree(x->pr);
  mxFree(x->pi);
  x->pr = real;
  x->pi = imaginary;
  return 0;
}

void TransposeData(const double* src, double* dst, int m, int n) {
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < m; ++k) dst[std::size_t(i) * m + k] = src[std::size_t(k) * n + i];
  }
}

int TransposeMatrixData(MxMatrix* x) {
  double* real = static_cast<double*>(mxCalloc(std::size_t(mxGetNumEl(x)), sizeof(double)));
  if (real == nullptr) return 1;
  TransposeData(x->pr, real, x->m, x->n);
  if (x->pi != nullptr) {
    // The old real array takes the transposed imaginary parts.
    TransposeData(x->pi, x->pr, x->m, x->n);
    mxFree(x->pi);
    x->pi = x->pr;
  } else {
    mxFree(x->pr);
  }
  x->pr = real;
  return 0;
}

int chooseDataFormat(const MxMatrix* x) {
  const std::size_t count = std::size_t(mxGetNumEl(x));
  if (count <= 10000) return kPrecisionDouble;
  double min = 0.0, max = 0.0;
  if (!integralRange(x->pr, count, min, max)) return kPrecisionDouble;
  if (x->pi != nullptr && !integralRange(x->pi, count, min, max)) return kPrecisionDouble;
  if (min < 0) {
    if (-min <= 32768 && max <= 32767) return kPrecisionInt16;
    if (-min <= 2147483648.0 && max <= 2147483647.0) return kPrecisionInt32;
    return kPrecisionDouble;
  }
  if (max > 2147483647.0) return kPrecisionDouble;
  if (max > 65535) return kPrecisionInt32;
  if (max > 255) return kPrecisionUInt16;
  return kPrecisionUInt8;
}

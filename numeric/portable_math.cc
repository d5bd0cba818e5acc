#include "numeric/portable_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace numeric::portable {

namespace {

std::uint32_t high_word(double x) {
  return static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(x) >> 32);
}

// x with its low 32 bits cleared.
double without_low_word(double x) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & 0xffffffff00000000ULL);
}

constexpr double inf = std::numeric_limits<double>::infinity();

// 2^k for a normal power of two, built from its exponent bits.
double two_to(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(0x3ff + k) << 52);
}

// y 2^k for y in [1/2, 2), rounded once as a multiplication rounds:
// exactly while the result is normal, and into the subnormals by one
// product with 2^-1000 (the scaling libm's ldexp does, without its call).
double scaled(double y, int k) {
  if (k > 1023) return y * 2 * two_to(1023);
  if (k >= -1021) return y * two_to(k);
  return y * two_to(k + 1000) * 0x1p-1000;
}

// ln 2 as a head whose products with integers below 2000 are exact, and
// the rest.
constexpr double ln2_hi = 6.93147180369123816490e-01;  // 0x3fe62e42 fee00000
constexpr double ln2_lo = 1.90821492927058770002e-10;  // 0x3dea39ef 35793c76

}  // namespace

// x = k ln2 + r with |r| <= ln2/2, r carried as hi - lo; e^r = 1 + r +
// r c(r) / (2 - c(r)) with c(r) = r - r^2 (P1 r^2 + ... + P5 r^10), the
// Remez polynomial of R(r^2) = r (e^r + 1)/(e^r - 1) - 2 (error below
// 2^-59); then scaled by 2^k, rounded once (also into the subnormals).
double exp(double x) noexcept {
  constexpr double inv_ln2 = 1.44269504088896338700e+00;  // 0x3ff71547 652b82fe
  constexpr double p1 = 1.66666666666666019037e-01;       // 0x3FC55555 5555553E
  constexpr double p2 = -2.77777777770155933842e-03;      // 0xBF66C16C 16BEBD93
  constexpr double p3 = 6.61375632143793436117e-05;       // 0x3F11566A AF25DE2C
  constexpr double p4 = -1.65339022054652515390e-06;      // 0xBEBBBD41 C5D26BF1
  constexpr double p5 = 4.13813679705723846039e-08;       // 0x3E663769 72BEA4D0
  if (std::isnan(x)) return x;
  if (x > 709.782712893383973096) return inf;
  if (x < -745.13321910194110842) return 0;
  const std::uint32_t hx = high_word(x) & 0x7fffffffU;
  int k = 0;
  double hi = x;
  double lo = 0;
  if (hx > 0x3fd62e42U) {     // |x| > ln2/2
    if (hx >= 0x3ff0a2b2U) {  // |x| >= 1.5 ln2
      k = static_cast<int>(inv_ln2 * x + (x < 0 ? -0.5 : 0.5));
    } else {
      k = x < 0 ? -1 : 1;
    }
    hi = x - k * ln2_hi;
    lo = k * ln2_lo;
    x = hi - lo;
  } else if (hx <= 0x3e300000U) {  // |x| <= 2^-28
    return 1 + x;
  }
  const double xx = x * x;
  const double c = x - xx * (p1 + xx * (p2 + xx * (p3 + xx * (p4 + xx * p5))));
  const double y = 1 + (x * c / (2 - c) - lo + hi);
  return k == 0 ? y : scaled(y, k);
}

// x = 2^k (1 + f) with sqrt(2)/2 < 1 + f < sqrt(2); log(1 + f) = 2s +
// s R(s^2) with s = f/(2 + f) and R the Remez polynomial Lg1 s^2 + ... +
// Lg7 s^14 (error below 2^-58.45), formed as f - (hfsq - s (hfsq + R)),
// hfsq = f^2/2, and k ln2 added in two parts.
double log(double x) noexcept {
  constexpr double lg1 = 6.666666666666735130e-01;  // 3FE55555 55555593
  constexpr double lg2 = 3.999999999940941908e-01;  // 3FD99999 9997FA04
  constexpr double lg3 = 2.857142874366239149e-01;  // 3FD24924 94229359
  constexpr double lg4 = 2.222219843214978396e-01;  // 3FCC71C5 1D8E78AF
  constexpr double lg5 = 1.818357216161805012e-01;  // 3FC74664 96CB03DE
  constexpr double lg6 = 1.531383769920937332e-01;  // 3FC39A09 D078C69F
  constexpr double lg7 = 1.479819860511658591e-01;  // 3FC2F112 DF3E5244
  if (std::isnan(x) || x < 0) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return -inf;
  if (x == inf) return inf;
  if (x == 1) return 0;
  int k = 0;
  if (x < std::numeric_limits<double>::min()) {  // subnormal: scaled up exactly
    k = -54;
    x *= 0x1p54;
  }
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  std::uint32_t hx = static_cast<std::uint32_t>(bits >> 32);
  // The exponent of x taken as k, and its mantissa moved into
  // [sqrt(2)/2, sqrt(2)).
  hx += 0x3ff00000U - 0x3fe6a09eU;
  k += static_cast<int>(hx >> 20) - 0x3ff;
  hx = (hx & 0x000fffffU) + 0x3fe6a09eU;
  bits = (static_cast<std::uint64_t>(hx) << 32) | (bits & 0xffffffffULL);
  const double f = std::bit_cast<double>(bits) - 1.0;
  const double hfsq = 0.5 * f * f;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (lg2 + w * (lg4 + w * lg6));
  const double t2 = z * (lg1 + w * (lg3 + w * (lg5 + w * lg7)));
  const double r = t2 + t1;
  const double dk = k;
  return s * (hfsq + r) + dk * ln2_lo - hfsq + f + dk * ln2_hi;
}

namespace {

// erf(x) = x + x P(x^2)/Q(x^2) on [0, 0.84375].
constexpr double pp0 = 1.28379167095512558561e-01;   // 0x3FC06EBA 8214DB68
constexpr double pp1 = -3.25042107247001499370e-01;  // 0xBFD4CD7D 691CB913
constexpr double pp2 = -2.84817495755985104766e-02;  // 0xBF9D2A51 DBD7194F
constexpr double pp3 = -5.77027029648944159157e-03;  // 0xBF77A291 236668E4
constexpr double pp4 = -2.37630166566501626084e-05;  // 0xBEF8EAD6 120016AC
constexpr double qq1 = 3.97917223959155352819e-01;   // 0x3FD97779 CDDADC09
constexpr double qq2 = 6.50222499887672944485e-02;   // 0x3FB0A54C 5536CEBA
constexpr double qq3 = 5.08130628187576562776e-03;   // 0x3F74D022 C4D36B0F
constexpr double qq4 = 1.32494738004321644526e-04;   // 0x3F215DC9 221C1A10
constexpr double qq5 = -3.96022827877536812320e-06;  // 0xBED09C43 42A26120
// erfc(x) = 1 - erx - P(s)/Q(s), s = |x| - 1, on [0.84375, 1.25]; erx is
// erf(1) to 32 bits.
constexpr double erx = 8.45062911510467529297e-01;   // 0x3FEB0AC1 60000000
constexpr double pa0 = -2.36211856075265944077e-03;  // 0xBF6359B8 BEF77538
constexpr double pa1 = 4.14856118683748331666e-01;   // 0x3FDA8D00 AD92B34D
constexpr double pa2 = -3.72207876035701323847e-01;  // 0xBFD7D240 FBB8C3F1
constexpr double pa3 = 3.18346619901161753674e-01;   // 0x3FD45FCA 805120E4
constexpr double pa4 = -1.10894694282396677476e-01;  // 0xBFBC6398 3D3E28EC
constexpr double pa5 = 3.54783043256182359371e-02;   // 0x3FA22A36 599795EB
constexpr double pa6 = -2.16637559486879084300e-03;  // 0xBF61BF38 0A96073F
constexpr double qa1 = 1.06420880400844228286e-01;   // 0x3FBB3E66 18EEE323
constexpr double qa2 = 5.40397917702171048937e-01;   // 0x3FE14AF0 92EB6F33
constexpr double qa3 = 7.18286544141962662868e-02;   // 0x3FB2635C D99FE9A7
constexpr double qa4 = 1.26171219808761642112e-01;   // 0x3FC02660 E763351F
constexpr double qa5 = 1.36370839120290507362e-02;   // 0x3F8BEDC2 6B51DD1C
constexpr double qa6 = 1.19844998467991074170e-02;   // 0x3F888B54 5735151D
// erfc(x) = exp(-x^2 - 0.5625 + R(s)/S(s)) / x, s = 1/x^2, on [1.25, 1/0.35].
constexpr double ra0 = -9.86494403484714822705e-03;  // 0xBF843412 600D6435
constexpr double ra1 = -6.93858572707181764372e-01;  // 0xBFE63416 E4BA7360
constexpr double ra2 = -1.05586262253232909814e+01;  // 0xC0251E04 41B0E726
constexpr double ra3 = -6.23753324503260060396e+01;  // 0xC04F300A E4CBA38D
constexpr double ra4 = -1.62396669462573470355e+02;  // 0xC0644CB1 84282266
constexpr double ra5 = -1.84605092906711035994e+02;  // 0xC067135C EBCCABB2
constexpr double ra6 = -8.12874355063065934246e+01;  // 0xC0545265 57E4D2F2
constexpr double ra7 = -9.81432934416914548592e+00;  // 0xC023A0EF C69AC25C
constexpr double sa1 = 1.96512716674392571292e+01;   // 0x4033A6B9 BD707687
constexpr double sa2 = 1.37657754143519042600e+02;   // 0x4061350C 526AE721
constexpr double sa3 = 4.34565877475229228821e+02;   // 0x407B290D D58A1A71
constexpr double sa4 = 6.45387271733267880336e+02;   // 0x40842B19 21EC2868
constexpr double sa5 = 4.29008140027567833386e+02;   // 0x407AD021 57700314
constexpr double sa6 = 1.08635005541779435134e+02;   // 0x405B28A3 EE48AE2C
constexpr double sa7 = 6.57024977031928170135e+00;   // 0x401A47EF 8E484A93
constexpr double sa8 = -6.04244152148580987438e-02;  // 0xBFAEEFF2 EE749A62
// The same on [1/0.35, 28].
constexpr double rb0 = -9.86494292470009928597e-03;  // 0xBF843412 39E86F4A
constexpr double rb1 = -7.99283237680523006574e-01;  // 0xBFE993BA 70C285DE
constexpr double rb2 = -1.77579549177547519889e+01;  // 0xC031C209 555F995A
constexpr double rb3 = -1.60636384855821916062e+02;  // 0xC064145D 43C5ED98
constexpr double rb4 = -6.37566443368389627722e+02;  // 0xC083EC88 1375F228
constexpr double rb5 = -1.02509513161107724954e+03;  // 0xC0900461 6A2E5992
constexpr double rb6 = -4.83519191608651397019e+02;  // 0xC07E384E 9BDC383F
constexpr double sb1 = 3.03380607434824582924e+01;   // 0x403E568B 261D5190
constexpr double sb2 = 3.25792512996573918826e+02;   // 0x40745CAE 221B9F0A
constexpr double sb3 = 1.53672958608443695994e+03;   // 0x409802EB 189D5118
constexpr double sb4 = 3.19985821950859553908e+03;   // 0x40A8FFB7 688C246A
constexpr double sb5 = 2.55305040643316442583e+03;   // 0x40A3F219 CEDF3BE6
constexpr double sb6 = 4.74528541206955367215e+02;   // 0x407DA874 E79FE763
constexpr double sb7 = -2.24409524465858183362e+01;  // 0xC03670E2 42712D62

// erfc(|x|) for 0.84375 <= |x| < 28 (ix the high word of |x|).
double erfc_tail(std::uint32_t ix, double x) {
  if (ix < 0x3ff40000U) {  // |x| < 1.25
    const double s = std::fabs(x) - 1;
    const double p = pa0 + s * (pa1 + s * (pa2 + s * (pa3 + s * (pa4 + s * (pa5 + s * pa6)))));
    const double q = 1 + s * (qa1 + s * (qa2 + s * (qa3 + s * (qa4 + s * (qa5 + s * qa6)))));
    return 1 - erx - p / q;
  }
  x = std::fabs(x);
  const double s = 1 / (x * x);
  double r = 0;
  double q = 0;
  if (ix < 0x4006db6dU) {  // |x| < 1/0.35
    r = ra0 + s * (ra1 + s * (ra2 + s * (ra3 + s * (ra4 + s * (ra5 + s * (ra6 + s * ra7))))));
    q = 1.0 +
        s * (sa1 + s * (sa2 + s * (sa3 + s * (sa4 + s * (sa5 + s * (sa6 + s * (sa7 + s * sa8)))))));
  } else {
    r = rb0 + s * (rb1 + s * (rb2 + s * (rb3 + s * (rb4 + s * (rb5 + s * rb6)))));
    q = 1.0 + s * (sb1 + s * (sb2 + s * (sb3 + s * (sb4 + s * (sb5 + s * (sb6 + s * sb7))))));
  }
  // exp(-x^2) as exp(-z^2) exp((z - x)(z + x)) with z = x cut to 21 bits
  // of mantissa: z^2 is exact.
  const double z = without_low_word(x);
  return exp(-z * z - 0.5625) * exp((z - x) * (z + x) + r / q) / x;
}

}  // namespace

double erfc(double x) noexcept {
  if (std::isnan(x)) return x;
  const bool negative = std::signbit(x);
  const std::uint32_t ix = high_word(x) & 0x7fffffffU;
  if (ix >= 0x7ff00000U) return negative ? 2 : 0;
  if (ix < 0x3feb0000U) {                  // |x| < 0.84375
    if (ix < 0x3c700000U) return 1.0 - x;  // |x| < 2^-56
    const double z = x * x;
    const double r = pp0 + z * (pp1 + z * (pp2 + z * (pp3 + z * pp4)));
    const double s = 1.0 + z * (qq1 + z * (qq2 + z * (qq3 + z * (qq4 + z * qq5))));
    const double y = r / s;
    if (negative || ix < 0x3fd00000U) return 1.0 - (x + x * y);  // x < 1/4
    return 0.5 - (x - 0.5 + x * y);
  }
  if (ix < 0x403c0000U) return negative ? 2 - erfc_tail(ix, x) : erfc_tail(ix, x);  // |x| < 28
  return negative ? 2 : 0;
}

}  // namespace numeric::portable

#ifndef TESTS_STAT_STATTESTUTIL_H
#define TESTS_STAT_STATTESTUTIL_H

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <valarray>

// Collects what is written to a standard stream for as long as it lives.
class StreamCapture
{
public:
  explicit StreamCapture(std::ostream& stream)
    : stream_(stream)
    , saved_(stream.rdbuf(buffer_.rdbuf()))
  {
  }
  ~StreamCapture() { stream_.rdbuf(saved_); }
  StreamCapture(const StreamCapture&) = delete;
  StreamCapture& operator=(const StreamCapture&) = delete;
  std::string str() const { return buffer_.str(); }

private:
  std::ostringstream buffer_;
  std::ostream& stream_;
  std::streambuf* saved_;
};

// Inside a death test only standard error can be matched: send standard output there too.
inline void
route_stdout_to_stderr()
{
  std::cout.rdbuf(std::cerr.rdbuf());
}

// Multinomial probability of the counts from std::lgamma; p need not be normalised.
inline double
multinomial(const std::valarray<unsigned int>& c, const std::valarray<double>& p)
{
  double total = 0, l = 0;
  for (size_t i = 0; i < c.size(); ++i)
  {
    total += c[i];
    l -= std::lgamma(c[i] + 1.0);
    if (c[i] > 0)
      l += c[i] * std::log(p[i] / p.sum());
  }
  return std::exp(l + std::lgamma(total + 1));
}

#endif

#ifndef ENGINE_MODEL_H
#define ENGINE_MODEL_H

#include <string>

namespace bpp
{
/**
 * @brief One row of the model table (M0, M1, M2): what the model estimates and which
 * parameters its fit frees.
 */
class Model
{
public:
  std::string name;
  std::string print_name;  // the copy the fits print
  std::string description; // exactly 31 characters, blank-padded
  bool active = false;
  unsigned int nb_error_classes = 1;
  unsigned int nb_bias_classes = 1;
  bool no_error = false;
  bool no_bias = false;
  bool fit_er_beta = false;
  bool fit_er_tstv = false;
  bool fit_aeb_beta = false;

  virtual ~Model() = default;
};
} // namespace bpp

#endif

#include "driver/Debug.h"
#include "driver/Driver.h"
#include "driver/Options.h"
#include "driver/Runtime.h"
#include "driver/StandardStreams.h"
#include "driver/Threads.h"
#include "engine/Quorlin.h"
#include "export/Tamsel.h"
#include "export/Vorrin.h"
#include "stat/Stat.h"

#include <Bpp/Numeric/Random/RandomTools.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>

int
main(int argc, char** argv)
{
  using namespace bpp;
  // Before anything is opened, the input included: no file of the run may become the console.
  if (!guard_standard_descriptors())
  {
    std::cerr << "quorlin: cannot open /dev/null in place of a closed standard descriptor: " << std::strerror(errno)
              << std::endl;
    return 1;
  }
  ignore_write_signals();
  install_console_buffer();
  try
  {
    // Random genotype draws differ between runs started in different seconds.
    RandomTools::setSeed(static_cast<long>(rawtime));

    RunFiles files;
    Stat stat;
    Quorlin quorlin(&stat);
    Vorrin vorrin;
    Tamsel tamsel;

    OptionAction action = read_options(argc, argv, files, quorlin, vorrin, tamsel);
    // Before anything is printed: the console must never write into the input, whatever the
    // option order. The loop above may have stopped before an "-alr", so every one is checked.
    for (const std::string& name : alr_names(argc, argv))
      check_console_is_not_input(name);
    // The optimizer warning waits for the banner: a run that cannot start prints nothing on
    // standard output.
    std::ostringstream warnings;
    if (action == OptionAction::run)
      action = check_settings(files, quorlin, warnings);
    switch (action)
    {
      case OptionAction::usage:
        usage(0);
      case OptionAction::usage_error:
        // With no argument at all the usage text is what was asked for.
        usage(argc <= 1 ? 0 : 1);
      case OptionAction::version:
        display();
      case OptionAction::debug:
        debug();
      case OptionAction::run:
        break;
    }
    run(files, quorlin, vorrin, tamsel, thread_count(), warnings.str());
    return 0;
  }
  catch (const RunStop& stop)
  {
    // Its message is already printed.
    std::cout.flush();
    return stop.status;
  }
  catch (const std::exception& e)
  {
    std::cout.flush();
    std::cerr << "quorlin: " << e.what() << std::endl;
    return 1;
  }
}

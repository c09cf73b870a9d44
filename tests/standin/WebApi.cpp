#include "tests/standin/WebApi.h"

#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

namespace standin {

void RegisterWebApi(StandinWeb& web, StandinService& data)
{
    (void)web;
    (void)data;
}

}  // namespace standin

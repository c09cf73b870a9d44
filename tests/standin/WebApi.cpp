#include "tests/standin/WebApi.h"

#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

namespace standin {

void RegisterWebApi(StandinWeb& web, StandinService& data)
{
    (void)web;
    (void)data;
    RegisterVistelApi(web, data);
    RegisterMievoApi(web, data);
    RegisterClanorApi(web, data);
    RegisterSorvanApi(web, data);
    RegisterBellwickApi(web, data);
    RegisterPreforApi(web, data);
    RegisterAdhorApi(web, data);
}

}  // namespace standin

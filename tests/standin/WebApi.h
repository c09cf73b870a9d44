// The web API the client's feature pages call, served by the stand-in web
// server over the stand-in service's data, so that a change made through a
// page shows in the client and the other way round. A test tool.
//
// Each feature's paths are registered by a function of its own, in a file of
// its own (WebApi<Feature>.cpp); RegisterWebApi calls them all.
#pragma once

namespace standin {

class StandinService;
class StandinWeb;

// Registers every API path on `web`, answering from `data` (which must
// outlive the server).
void RegisterWebApi(StandinWeb& web, StandinService& data);

// One per feature.
void RegisterMievoApi(StandinWeb& web, StandinService& data);
void RegisterClanorApi(StandinWeb& web, StandinService& data);
void RegisterVistelApi(StandinWeb& web, StandinService& data);
void RegisterSorvanApi(StandinWeb& web, StandinService& data);
void RegisterBellwickApi(StandinWeb& web, StandinService& data);
void RegisterPreforApi(StandinWeb& web, StandinService& data);
void RegisterAdhorApi(StandinWeb& web, StandinService& data);

}  // namespace standin

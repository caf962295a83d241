// Realistic ONVIF replies for the parser benchmarks, generated in memory so
// that the benchmark needs no data files. Each is a complete SOAP 1.2
// envelope as a camera sends it (one line, namespace prefixes declared on the
// Envelope), grown by repeating its list elements until it reaches the size
// asked for.
#ifndef BENCH_REPLIES_HPP
#define BENCH_REPLIES_HPP

#include <cstddef>
#include <string>

namespace bench
{

// GetDeviceInformationResponse (about 1 KB; target_size is ignored).
std::string device_information_reply();

// GetServicesResponse with IncludeCapability, services repeated up to
// target_size bytes.
std::string services_reply(size_t target_size);

// GetProfilesResponse, full media profiles (video/audio source and encoder,
// PTZ, analytics, metadata configurations) up to target_size bytes.
std::string profiles_reply(size_t target_size);

// GetEventSearchResultsResponse (recording search) with result entries up to
// target_size bytes: the shape of the largest replies a camera sends.
std::string event_search_reply(size_t target_size);

} // namespace bench

#endif

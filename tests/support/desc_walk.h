// Dumping a record through its field descriptors as sorted "path=value"
// lines, the form the schema sample generator (tools/onvifgen/make_samples.py)
// writes the expected values of a sample in.
#ifndef TESTS_SUPPORT_DESC_WALK_H
#define TESTS_SUPPORT_DESC_WALK_H

#include <string>
#include <vector>

#include "onvif/soap_desc.h"

namespace descwalk
{

// Paths are element names below the record ("Profiles[0]/Name", attributes
// "@token", "[i]" after a repeated member); values as the writer writes them
// (texts as stored, numbers in their shortest form, booleans true/false,
// enumerations as text, durations "PT<n>S", date-times
// "YYYY-MM-DDThh:mm:ssZ", binary data as its bytes, raw XML as its text).
// Absent optional members and hand-written (hook) members give no line.
std::vector<std::string> dump(const SOAP_TYPE *t, const void *rec);

} // namespace descwalk

#endif

// The animation file: the deformed mesh of the process at every output time,
// connectivity in the first zone only.
#pragma once

void outanim(double time);

// Template and control ids of the reading pages.
#pragma once

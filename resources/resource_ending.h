// Template and control ids of the ending pages.
#pragma once

// Template and control ids of the download pages.
#pragma once

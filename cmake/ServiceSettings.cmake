# Where the services live and the keys they are called with. The keys are
# placeholders: a real build passes its own with -D on the command line.
set(VANTRY_ALLOCINE_API_HOST "api.allocine.fr" CACHE STRING "AlloCine interface host")
set(VANTRY_ALLOCINE_WEB_HOST "www.allocine.fr" CACHE STRING "AlloCine web-site host")
set(VANTRY_TMDB_API_HOST "api.themoviedb.org" CACHE STRING "TMDb interface host")
set(VANTRY_TMDB_IMAGE_HOST "image.tmdb.org" CACHE STRING "TMDb picture host")
set(VANTRY_TMDB_WEB_HOST "www.themoviedb.org" CACHE STRING "TMDb web-site host")
set(VANTRY_VERSION_HOST "vantry.example.org" CACHE STRING "Version service host")
set(VANTRY_ALLOCINE_PARTNER "PARTNER_CODE" CACHE STRING "AlloCine partner code")
set(VANTRY_ALLOCINE_SECRET "SECRET_KEY" CACHE STRING "AlloCine secret key")
set(VANTRY_TMDB_API_KEY "TMDB_API_KEY" CACHE STRING "TMDb api key")
set(VANTRY_PRODUCT_PAGE "http://vantry.example.org/" CACHE STRING "Web address of the program's own page")

# Every outside address and identifier is a compiled default that the environment variable
# of the same name overrides at run time (see network/outsideaddresses.h).
set(PINROVA_TILE_SERVER "https://tile.openstreetmap.org" CACHE STRING
    "Base URL of the OpenStreetMap tile server")
set(PINROVA_POSITION_SERVICE "http://127.0.0.1:8080" CACHE STRING
    "Base URL of the position service")
set(PINROVA_FACEBOOK_WEB "https://www.facebook.com" CACHE STRING
    "Base URL of Facebook's web pages (OAuth dialog, profiles)")
set(PINROVA_FACEBOOK_GRAPH "https://graph.facebook.com" CACHE STRING
    "Base URL of Facebook's Graph API")
set(PINROVA_FACEBOOK_CLIENT_ID "100000000000000" CACHE STRING
    "Application identifier registered with Facebook")
set(PINROVA_REDIRECT_HOST "www.pinrova.example" CACHE STRING
    "Host name of the product's web site, where the sign-in ends (bare host, no scheme)")
set(PINROVA_WEB_SITE "http://www.pinrova.example" CACHE STRING
    "Address of the product's web site")
set(PINROVA_VK_HOST "http://vkontakte.ru" CACHE STRING
    "Base URL of VKontakte's sign-in pages and API")
set(PINROVA_VK_PROFILE "http://vk.com" CACHE STRING
    "Base URL of VKontakte's profile pages")
set(PINROVA_VK_APP_ID "1000000" CACHE STRING
    "Application identifier registered with VKontakte")

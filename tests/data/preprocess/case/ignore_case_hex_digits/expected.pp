
x =ff+abc;
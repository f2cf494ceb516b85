
ok 